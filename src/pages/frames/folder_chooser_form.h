// TForm4: "Choose a folder" for saving frames (client 366 x 253): the mounted volumes in
// place of drive letters, a folder tree, "Destination folder:" with the folder chosen, "OK"
// and "Cancel".
#pragma once

#include <QDialog>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

namespace clipvane {

class TForm4 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm4(QWidget* parent = nullptr);

  // The folder selected in the tree (shown under "Destination folder:").
  QString SelectedFolder() const { return selected_; }
  // Selects `folder` in the tree, and its volume in the volume list.
  void SetFolder(const QString& folder);

  QComboBox* DriveComboBox1 = nullptr;
  QTreeView* DirectoryListBox1 = nullptr;
  QLabel* LabelDestination = nullptr;  // "Destination folder:"
  QLabel* LabelFolder = nullptr;       // the folder chosen
  QPushButton* ButtonOK = nullptr;
  QPushButton* ButtonCancel = nullptr;

 private:
  void DriveComboBox1Change();
  void ShowSelected(const QString& folder);

  QFileSystemModel* folders_ = nullptr;
  QString selected_;
};

}  // namespace clipvane
