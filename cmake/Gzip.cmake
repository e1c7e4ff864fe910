# clipvane_gzip(IN OUT): a build rule that writes IN compressed to OUT, as Debian wants its
# documentation: best compression, no name or time stamp inside (-n), so builds repeat.
function(clipvane_gzip in out)
  add_custom_command(OUTPUT ${out}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" clipvane_gzip ${in} ${out}
    DEPENDS ${in} VERBATIM)
endfunction()
