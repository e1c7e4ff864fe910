// TForm4: "Choose a folder" for saving frames: the mounted volumes in place of drive letters, a
// folder tree, "Destination folder:" with the folder chosen, a field to type a folder into,
// "OK" and "Cancel". It opens roomier than the old 366 x 253 and can be made larger still.
#pragma once

#include <QDialog>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
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

  // "OK" (and Enter): a folder typed into the field is chosen when it exists; one that does not
  // is named in the dialog, which stays open.
  void accept() override;

  QComboBox* DriveComboBox1 = nullptr;
  QTreeView* DirectoryListBox1 = nullptr;
  QLabel* LabelDestination = nullptr;  // "Destination folder:"
  QLabel* LabelFolder = nullptr;       // the folder chosen
  QLabel* LabelTyped = nullptr;        // "Or type a folder:"
  QLineEdit* PathEdit = nullptr;       // a folder typed in: absolute, "~/...", or from the one chosen
  QLabel* PathMessage = nullptr;       // why a typed folder cannot be used; hidden otherwise
  QPushButton* ButtonOK = nullptr;
  QPushButton* ButtonCancel = nullptr;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void DriveComboBox1Change();
  void ShowSelected(const QString& folder);
  // The folder the field names, or an empty text (and the reason shown) when it names none.
  QString TypedFolder();

  QFileSystemModel* folders_ = nullptr;
  QString selected_;
};

}  // namespace clipvane
