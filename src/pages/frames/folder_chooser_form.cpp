// TForm4: the folder chooser of "Save" on the frames page.
#include "pages/frames/folder_chooser_form.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

namespace clipvane {

TForm4::TForm4(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Choose a folder"));

  DriveComboBox1 = new QComboBox(this);
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
  DirectoryListBox1->setModel(folders_);
  DirectoryListBox1->setHeaderHidden(true);
  for (int column = 1; column < folders_->columnCount(); ++column) DirectoryListBox1->hideColumn(column);

  LabelDestination = new QLabel(QStringLiteral("Destination folder:"), this);
  QFont underlined = LabelDestination->font();
  underlined.setUnderline(true);
  LabelDestination->setFont(underlined);
  LabelFolder = new QLabel(this);
  LabelFolder->setTextFormat(Qt::PlainText);
  // A line of text with room for its descenders, as the old box gave each label.
  for (QLabel* label : {LabelDestination, LabelFolder}) label->setMinimumHeight(16);

  LabelTyped = new QLabel(QStringLiteral("Or type a folder:"), this);
  PathEdit = new QLineEdit(this);
  PathEdit->setPlaceholderText(QStringLiteral("/path/to/folder, ~/Pictures, or a folder in the one chosen"));
  PathEdit->setClearButtonEnabled(true);
  LabelTyped->setBuddy(PathEdit);
  PathMessage = new QLabel(this);
  PathMessage->setTextFormat(Qt::PlainText);
  PathMessage->setWordWrap(true);
  PathMessage->setStyleSheet(QStringLiteral("color: #a01010;"));
  PathMessage->hide();
  connect(PathEdit, &QLineEdit::textEdited, PathMessage, &QLabel::hide);

  auto* line = new QFrame(this);
  line->setFrameStyle(QFrame::HLine | QFrame::Sunken);

  ButtonOK = new QPushButton(QStringLiteral("OK"), this);
  ButtonOK->setFixedSize(75, 25);
  ButtonOK->setDefault(true);
  ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
  ButtonCancel->setFixedSize(75, 25);
  connect(ButtonOK, &QPushButton::clicked, this, &TForm4::accept);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

  // Top to bottom as the old box had them; the tree takes whatever room the window has.
  auto* typed = new QHBoxLayout;
  typed->addWidget(LabelTyped);
  typed->addWidget(PathEdit, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ButtonOK);
  buttons->addWidget(ButtonCancel);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 6);
  layout->setSpacing(4);
  layout->addWidget(DriveComboBox1);
  layout->addWidget(DirectoryListBox1, 1);
  layout->addWidget(LabelDestination);
  layout->addWidget(LabelFolder);
  layout->addLayout(typed);
  layout->addWidget(PathMessage);
  layout->addWidget(line);
  layout->addLayout(buttons);
  setMinimumSize(366, 253);
  resize(520, 420);

  connect(DriveComboBox1, &QComboBox::activated, this, [this] { DriveComboBox1Change(); });
  connect(DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) ShowSelected(folders_->filePath(current));
          });

  SetFolder(QDir::homePath());
  // What is typed goes into the field: typed into the tree, it would jump between folders.
  PathEdit->setFocus();
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

void TForm4::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // The folder's text is shortened to the label's width, which has just changed.
  ShowSelected(selected_);
}

QString TForm4::TypedFolder() {
  QString typed = PathEdit->text().trimmed();
  if (typed == QStringLiteral("~") || typed.startsWith(QStringLiteral("~/"))) typed = QDir::homePath() + typed.mid(1);
  const QString path = QDir::cleanPath(QDir(selected_).absoluteFilePath(typed));
  const QFileInfo info(path);
  if (info.isDir()) return path;
  PathMessage->setText(info.exists() ? QStringLiteral("%1 is a file, not a folder.").arg(path)
                                     : QStringLiteral("There is no folder %1.").arg(path));
  PathMessage->show();
  return {};
}

void TForm4::accept() {
  if (!PathEdit->text().trimmed().isEmpty()) {
    const QString folder = TypedFolder();
    if (folder.isEmpty()) return;
    SetFolder(folder);
    PathEdit->clear();
  }
  QDialog::accept();
}

}  // namespace clipvane
