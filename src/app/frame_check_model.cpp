// TFrameCheckModel: captions computed on demand, ticks read from and written to FrameSelected.
#include "app/frame_check_model.h"

namespace clipvane {

TFrameCheckModel::TFrameCheckModel(TVideoState& state, QObject* parent) : QAbstractListModel(parent), state_(state) {}

int TFrameCheckModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(state_.FrameSelected.size());
}

QVariant TFrameCheckModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
  if (role == Qt::DisplayRole) return QStringLiteral("Frame %1").arg(index.row());
  if (role == Qt::CheckStateRole)
    return state_.FrameSelected[static_cast<std::size_t>(index.row())] ? Qt::Checked : Qt::Unchecked;
  return {};
}

bool TFrameCheckModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || index.row() < 0 || index.row() >= rowCount()) return false;
  state_.FrameSelected[static_cast<std::size_t>(index.row())] = static_cast<Qt::CheckState>(value.toInt()) ==
                                                                Qt::Checked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

Qt::ItemFlags TFrameCheckModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

void TFrameCheckModel::Reload(const std::function<void()>& change) {
  beginResetModel();
  if (change) change();
  endResetModel();
}

void TFrameCheckModel::TicksChanged() {
  if (rowCount() > 0) emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
}

}  // namespace clipvane
