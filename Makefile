# Front door: make run | make test | make build | make bench | make test-sanitize | make test-tsan
#             make install [PREFIX=/usr/local] [DESTDIR=...] | make deb | make deb-lint
#             make format | make format-check
BUILD ?= build
PREFIX ?= /usr/local
SANITIZE_BUILD ?= build-sanitize
TSAN_BUILD ?= build-tsan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# The sanitizer builds optimise less and keep only line tables: they compile in about half the
# time of -O2 -g, and reports still name the file and line.
SANITIZER_OPT = -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"

.PHONY: all deps build run test test-sanitize test-tsan bench sample clean format format-check install deb deb-lint

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The sample video is made by our own fixture writer, so no video is kept in the repository.
sample: build
	@test -f $(BUILD)/sample.avi || $(BUILD)/tests/make-sample-avi $(BUILD)/sample.avi

run: build sample
	@if [ -x $(BUILD)/src/app/clipvane ]; then $(BUILD)/src/app/clipvane; \
	else $(BUILD)/src/cli/clipvane-cli info $(BUILD)/sample.avi; fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600

# Every test that needs no window, built with ASan + UBSan in a folder of its own. Leaks of
# libraries we do not build (the HEVC encoder's) are suppressed.
test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(SANITIZER_OPT) \
	  -DCLIPVANE_SANITIZE=ON -DCLIPVANE_GUI=OFF -DCLIPVANE_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS) -L nowindow --timeout 900

# The tests of threaded code (GIF painters, the two-thread GIF pipeline, the media player)
# under ThreadSanitizer, in a folder of their own; only their executable is built. FFmpeg is
# not instrumented, so its own threads are suppressed.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(SANITIZER_OPT) \
	  -DCLIPVANE_TSAN=ON -DCLIPVANE_GUI=OFF -DCLIPVANE_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target tsan_tests
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS) -L tsan --timeout 900

# Applies .clang-format to every source file; format-check only lists the files it would change.
format:
	@CLIPVANE_DEPS=format scripts/install-deps
	@scripts/format

format-check:
	@CLIPVANE_DEPS=format scripts/install-deps
	@scripts/format --check

bench: build
	@CLIPVANE_DEPS=all scripts/install-deps
	bench/run-benchmarks $(BUILD)

# DESTDIR, when set, is honoured by cmake --install.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The package is copied here, so `apt install ./clipvane_*.deb` finds it.
deb: build
	@CLIPVANE_DEPS=deb scripts/install-deps
	rm -f $(BUILD)/clipvane_*.deb
	cd $(BUILD) && cpack -G DEB
	cp $(BUILD)/clipvane_*.deb .

deb-lint: deb
	@CLIPVANE_DEPS=lint scripts/install-deps
	lintian --fail-on error clipvane_*.deb

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD) clipvane_*.deb
