// What --estimate prints: the size in words and bytes, and the same in --json.
#pragma once

#include "cli/cli_command.h"
#include "runs/gif/gif_size_estimate.h"

namespace clipvane::cli {

void PrintSizeEstimate(TCommandContext& context, const TGifSizeEstimate& estimate);

}  // namespace clipvane::cli
