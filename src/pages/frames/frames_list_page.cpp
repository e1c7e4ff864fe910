// The frames list's model and its drawing of entries.
#include "pages/frames/frames_list_page.h"

#include <QEvent>
#include <QPainter>

#include "runs/frames/frame_list_layout.h"

namespace clipvane {

namespace {

// About 8 MB of thumbnails at 150 x 70 x 4 bytes: several screens of entries.
constexpr int kThumbnailCacheBytes = 8 * 1024 * 1024;

QRect ToQRect(const TRect& rect) { return QRect(rect.Left, rect.Top, rect.Width(), rect.Height()); }

}  // namespace

TFramesListModel::TFramesListModel(TVideoState& state, QObject* parent) : QAbstractListModel(parent), state_(state) {}

int TFramesListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

QVariant TFramesListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(state_.ExtractedFrames.size())) return {};
  if (role == Qt::DisplayRole)
    return QString::fromStdString(state_.ExtractedFrames[static_cast<std::size_t>(index.row())].Caption);
  return {};
}

bool TFramesListModel::Sync() {
  const int size = static_cast<int>(state_.ExtractedFrames.size());
  const TBitmap* first = size > 0 ? state_.ExtractedFrames.front().Bitmap : nullptr;
  if (size < rows_ || (rows_ > 0 && first != firstBitmap_)) {
    beginResetModel();
    rows_ = size;
    firstBitmap_ = first;
    endResetModel();
    emit EntriesDropped();
    return true;
  }
  if (size > rows_) {
    beginInsertRows(QModelIndex(), rows_, size - 1);
    rows_ = size;
    firstBitmap_ = first;
    endInsertRows();
  }
  return false;
}

void TFramesListModel::Reload(const std::function<void()>& change) {
  beginResetModel();
  change();
  rows_ = static_cast<int>(state_.ExtractedFrames.size());
  firstBitmap_ = rows_ > 0 ? state_.ExtractedFrames.front().Bitmap : nullptr;
  endResetModel();
  emit EntriesDropped();
}

TFramesListView::TFramesListView(QWidget* parent) : QListView(parent) {}

QColor TFramesListView::OutlineColor() const {
  // The list outline of the program's style: the window colour darkened, then lightened a little.
  return palette().window().color().darker(140).lighter(108);
}

bool TFramesListView::event(QEvent* event) {
  const bool handled = QListView::event(event);
  if (event->type() == QEvent::Paint && frameWidth() > 0) {
    QPainter painter(this);
    const QColor outline = OutlineColor();
    const int w = width(), h = height();
    painter.fillRect(QRect(0, 0, w, 1), outline);
    painter.fillRect(QRect(0, h - 1, w, 1), outline);
    painter.fillRect(QRect(0, 0, 1, h), outline);
    painter.fillRect(QRect(w - 1, 0, 1, h), outline);
  }
  return handled;
}

TFramesListDelegate::TFramesListDelegate(const TFramesListModel& model, QObject* parent)
    : QStyledItemDelegate(parent), model_(model), thumbnails_(kThumbnailCacheBytes) {}

QSize TFramesListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return QSize(option.rect.width() > 0 ? option.rect.width() : 100, kFrameEntryHeight);
}

void TFramesListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const bool selected = option.state & QStyle::State_Selected;
  const QPalette& palette = option.palette;
  const QBrush brush = selected ? palette.highlight() : palette.base();
  const QColor text = selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text);
  painter->save();
  lbAVIDrawItem(*painter, index.row(), option.rect, brush, text, option.font, palette);
  painter->restore();
}

const QImage* TFramesListDelegate::Thumbnail(const TBitmap& bitmap, int width, int height) const {
  if (const QImage* cached = thumbnails_.object(&bitmap)) return cached;
  // The 32-bit working bitmap's rows are QImage's RGB32 pixels on a little-endian machine:
  // blue, green, red, unused.
  TBitmap small(width, height, TPixelFormat::pf32bit);
  if (width == bitmap.Width() && height == bitmap.Height()) small.Draw(0, 0, bitmap);
  else small.StretchDraw(TRect{0, 0, width, height}, bitmap, TRect{0, 0, bitmap.Width(), bitmap.Height()});
  auto* image = new QImage(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(small.ScanLine(y));
    auto* target = reinterpret_cast<std::uint32_t*>(image->scanLine(y));
    for (int x = 0; x < width; ++x) target[x] = row[x] | 0xFF000000u;
  }
  const int cost = std::max(1, width * height * 4);
  thumbnails_.insert(&bitmap, image, cost);
  return thumbnails_.object(&bitmap);
}

void TFramesListDelegate::lbAVIDrawItem(QPainter& painter, int row, const QRect& rect, const QBrush& brush,
                                        const QColor& textColor, const QFont& font, const QPalette& palette) const {
  const auto& frames = model_.State().ExtractedFrames;
  if (row < 0 || row >= static_cast<int>(frames.size())) return;
  const TExtractedFrame& entry = frames[static_cast<std::size_t>(row)];
  const TBitmap* bitmap = entry.Bitmap;
  const QString caption = QString::fromStdString(entry.Caption);

  painter.setFont(font);
  const int textHeight = painter.fontMetrics().height();
  const TRect entryRect{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
  const TFrameEntryLayout layout =
      ComputeFrameEntryLayout(entryRect, bitmap ? bitmap->Width() : 0, bitmap ? bitmap->Height() : 0, textHeight);

  painter.fillRect(ToQRect(layout.TextArea), brush);

  // The 3D frame: highlight on the top and left, shadow on the bottom and right.
  const int left = entryRect.Left, top = entryRect.Top, right = entryRect.Right - 1, bottom = entryRect.Bottom - 1;
  painter.setPen(palette.color(QPalette::Light));
  painter.drawLine(left, top, right - 1, top);
  painter.drawLine(left, top, left, bottom - 1);
  painter.setPen(palette.color(QPalette::Dark));
  painter.drawLine(left, bottom, right, bottom);
  painter.drawLine(right, top, right, bottom);

  if (bitmap != nullptr && layout.Thumbnail.Width() > 0 && layout.Thumbnail.Height() > 0) {
    if (const QImage* image = Thumbnail(*bitmap, layout.Thumbnail.Width(), layout.Thumbnail.Height()))
      painter.drawImage(layout.Thumbnail.Left, layout.Thumbnail.Top, *image);
  }

  painter.setPen(textColor);
  painter.drawText(QRect(layout.CaptionX, layout.CaptionY, std::max(0, entryRect.Right - layout.CaptionX), textHeight),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption);
}

}  // namespace clipvane
