// TForm4: the folder chooser of "Save" on the frames page.
#include "pages/frames/folder_chooser_form.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>

namespace clipvane {

TForm4::TForm4(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Choose a folder"));
  setFixedSize(366, 253);

  DriveComboBox1 = new QComboBox(this);
  DriveComboBox1->setGeometry(8, 8, 349, 22);
  // Pseudo file systems (proc, sysfs, ...) hold no folders anyone saves pictures in.
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const QString root = volume.rootPath();
    const QString name = volume.displayName() == root ? root
                                                      : volume.displayName() + QStringLiteral("  (") + root + ')';
    DriveComboBox1->addItem(name, root);
  }
  if (DriveComboBox1->findData(QStringLiteral("/")) < 0)
    DriveComboBox1->insertItem(0, QStringLiteral("/"), QStringLiteral("/"));

  folders_ = new QFileSystemModel(this);
  folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
  folders_->setRootPath(QStringLiteral("/"));
  DirectoryListBox1 = new QTreeView(this);
  DirectoryListBox1->setGeometry(8, 36, 349, 137);
  DirectoryListBox1->setModel(folders_);
  DirectoryListBox1->setHeaderHidden(true);
  for (int column = 1; column < folders_->columnCount(); ++column) DirectoryListBox1->hideColumn(column);

  LabelDestination = new QLabel(QStringLiteral("Destination folder:"), this);
  LabelDestination->setGeometry(8, 178, 349, 16);
  QFont underlined = LabelDestination->font();
  underlined.setUnderline(true);
  LabelDestination->setFont(underlined);
  LabelFolder = new QLabel(this);
  LabelFolder->setGeometry(8, 194, 349, 16);
  LabelFolder->setTextFormat(Qt::PlainText);

  auto* line = new QFrame(this);
  line->setGeometry(8, 214, 349, 2);
  line->setFrameStyle(QFrame::HLine | QFrame::Sunken);

  ButtonOK = new QPushButton(QStringLiteral("OK"), this);
  ButtonOK->setGeometry(200, 222, 75, 25);
  ButtonOK->setDefault(true);
  ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
  ButtonCancel->setGeometry(282, 222, 75, 25);
  connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

  connect(DriveComboBox1, &QComboBox::activated, this, [this] { DriveComboBox1Change(); });
  connect(DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) ShowSelected(folders_->filePath(current));
          });

  SetFolder(QDir::homePath());
}

void TForm4::DriveComboBox1Change() {
  const QString root = DriveComboBox1->currentData().toString();
  DirectoryListBox1->setRootIndex(folders_->index(root));
  ShowSelected(root);
}

void TForm4::SetFolder(const QString& folder) {
  const QString path = QFileInfo(folder).absoluteFilePath();
  // The volume holding the folder: the longest mount point that starts its path.
  int volume = -1;
  int longest = -1;
  for (int item = 0; item < DriveComboBox1->count(); ++item) {
    QString root = DriveComboBox1->itemData(item).toString();
    const QString prefix = root.endsWith('/') ? root : root + '/';
    if ((path == root || path.startsWith(prefix)) && root.size() > longest) {
      longest = static_cast<int>(root.size());
      volume = item;
    }
  }
  if (volume >= 0) {
    DriveComboBox1->setCurrentIndex(volume);
    DirectoryListBox1->setRootIndex(folders_->index(DriveComboBox1->itemData(volume).toString()));
  }
  const QModelIndex index = folders_->index(path);
  if (index.isValid()) {
    DirectoryListBox1->setCurrentIndex(index);
    DirectoryListBox1->scrollTo(index);
  }
  ShowSelected(path);
}

void TForm4::ShowSelected(const QString& folder) {
  selected_ = folder;
  LabelFolder->setText(fontMetrics().elidedText(folder, Qt::ElideMiddle, LabelFolder->width()));
  LabelFolder->setToolTip(folder);
}

}  // namespace clipvane
