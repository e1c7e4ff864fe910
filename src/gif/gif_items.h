// The common bases of the GIF document tree: items (header, frames, trailer, extensions)
// and the lists that own them. Both forward their warnings to the document's hook.
#pragma once

#include <string>

#include "gif/gif_types.h"

namespace clipvane {

class TGIFItem : public TGIFPersistent {
 public:
  explicit TGIFItem(TGIFImage* image) : image_(image) {}

  // The document this item belongs to (none for an item made on its own).
  virtual TGIFImage* Image() const { return image_; }
  // The lowest GIF version that can hold the item: 1 = "87a", 2 = "89a".
  virtual int Version() const { return 1; }
  // Sends a warning to the document's hook with this item as sender.
  virtual void Warning(int severity, const std::string& message);

 protected:
  TGIFImage* image_;
};

class TGIFList : public TGIFPersistent {
 public:
  explicit TGIFList(TGIFImage* image) : image_(image) {}

  TGIFImage* Image() const { return image_; }
  virtual void Warning(int severity, const std::string& message);

 protected:
  TGIFImage* image_;
};

}  // namespace clipvane
