// TFrameCheckModel: the frame check list at the left of the main window as a model over
// TVideoState::FrameSelected, so a video of many thousand frames needs no widget per frame.
// Entry N reads "Frame N"; its tick is FrameSelected[N].
#pragma once

#include <QAbstractListModel>
#include <functional>

#include "core/video_state.h"

namespace clipvane {

class TFrameCheckModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit TFrameCheckModel(TVideoState& state, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Runs `change`, which may resize or replace FrameSelected, inside a model reset.
  void Reload(const std::function<void()>& change);
  // After ticks in FrameSelected were changed by code.
  void TicksChanged();

 private:
  TVideoState& state_;
};

}  // namespace clipvane
