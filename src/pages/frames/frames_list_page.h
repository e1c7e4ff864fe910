// The frames list of the "frames extract" page: a model over TVideoState::ExtractedFrames, the
// delegate that draws each 74-pixel entry with its thumbnail and caption, and the view. Thumbnails are
// made when an entry is first drawn and kept in a bounded cache, so thousands of entries cost
// only what is on the screen.
#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QImage>
#include <QListView>
#include <QStyledItemDelegate>

#include "core/video_state.h"

namespace clipvane {

class TFramesListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit TFramesListModel(TVideoState& state, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Catches up with ExtractedFrames: appended entries are inserted, a list that was emptied
  // or re-made resets the view. Returns true when the entries before were dropped.
  bool Sync();
  // Runs `change`, which may empty or re-make the results, inside a model reset.
  void Reload(const std::function<void()>& change);

  const TVideoState& State() const { return state_; }

 signals:
  // The entries shown so far no longer exist: their thumbnails must go.
  void EntriesDropped();

 private:
  TVideoState& state_;
  int rows_ = 0;
  const TBitmap* firstBitmap_ = nullptr;  // tells a re-made list of the same length apart
};

class TFramesListDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit TFramesListDelegate(const TFramesListModel& model, QObject* parent = nullptr);

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // lbAVIDrawItem: draws entry `row` in `rect` with the brush and font already chosen for a
  // selected or an unselected entry.
  void lbAVIDrawItem(QPainter& painter, int row, const QRect& rect, const QBrush& brush, const QColor& textColor,
                     const QFont& font, const QPalette& palette) const;

  // Forgets every thumbnail (the bitmaps they were made from are gone).
  void DropThumbnails() { thumbnails_.clear(); }
  int CachedThumbnails() const { return thumbnails_.count(); }

 private:
  const QImage* Thumbnail(const TBitmap& bitmap, int width, int height) const;

  const TFramesListModel& model_;
  // Keyed by the bitmap's address; dropped with the results, so an address is never reused
  // for a stale picture.
  mutable QCache<const TBitmap*, QImage> thumbnails_;
};

// The list itself. Its outline is painted as strips inside its own rectangle: the style draws
// it as a line centred on the edge, and where a scale such as 125 % puts the list at a
// fractional screen position, the top and left halves of that line fall outside the list's
// clip and the border is lost there. At 100 % the strips cover the pixels the line did.
class TFramesListView : public QListView {
  Q_OBJECT

 public:
  explicit TFramesListView(QWidget* parent = nullptr);

  // The outline's colour, the one the style gives a list.
  QColor OutlineColor() const;

 protected:
  bool event(QEvent* event) override;
};

}  // namespace clipvane
