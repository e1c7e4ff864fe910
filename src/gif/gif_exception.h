// GIFException: the error the GIF library raises, always with one of its fixed messages.
// Shared by the document, the stream writer and reader, and colour reduction.
#pragma once

#include "core/error.h"

namespace clipvane {

class GIFException : public EClipvaneError {
 public:
  using EClipvaneError::EClipvaneError;
};

}  // namespace clipvane
