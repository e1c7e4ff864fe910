#include "cli/size_estimate_output.h"

namespace clipvane::cli {

void PrintSizeEstimate(TCommandContext& context, const TGifSizeEstimate& estimate) {
  context.Output.Result(GifSizeEstimateText(estimate) + "\n");
  if (context.Arguments.Has("--json"))
    context.Output.Json(TJsonObject()
                            .Add("estimate", static_cast<long long>(estimate.Bytes))
                            .Add("uncertainty", estimate.Uncertainty)
                            .Add("width", estimate.GifWidth)
                            .Add("height", estimate.GifHeight)
                            .Add("frames", estimate.GifFrames)
                            .Add("sampled", estimate.SampledFrames)
                            .Add("seconds", context.Seconds()));
}

}  // namespace clipvane::cli
