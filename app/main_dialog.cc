// MainDialog as a window: its controls, menu, status bar and first state.
// What the commands do is in recovery_workflow.cc.
#include "app/main_dialog.h"

#include <QAction>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/build_info.h"
#include "app/control_ids.h"
#include "app/recovery_worker.h"
#include "app/skinned_surface.h"
#include "controls/transparent_static.h"
#include "resources/dialog_layouts.h"

namespace mendora {

namespace ml = layout::main_dialog;

const MainDialog::CommandRoute MainDialog::kCommandTable[] = {
    {kIdBrowse, &MainDialog::OnBrowse},       {kIdFileOpen, &MainDialog::OnBrowse},
    {kIdNext, &MainDialog::OnNext},           {kIdFileRecovery, &MainDialog::OnNext},
    {kIdStop, &MainDialog::OnStop},           {kIdSave, &MainDialog::OnSave},
    {kIdBack, &MainDialog::OnBack},           {kIdFileExit, &MainDialog::OnExit},
    {kIdHelpContent, &MainDialog::OnHelp},    {kIdHelpAbout, &MainDialog::OnAbout},
    {kIdPreview, &MainDialog::OnPreview},
};

MainDialog::MainDialog(const AppServices& services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(services) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setObjectName(QStringLiteral("mainDialog"));
  EnsureResources();
  setWindowIcon(QIcon(QString::fromLatin1(kAppIcon)));
  QFont dialog_font = font();
  dialog_font.setPointSize(8);
  setFont(dialog_font);

  auto* menu = new QMenuBar(this);
  menu->setNativeMenuBar(false);
  BuildMenu(menu);

  surface_ = new SkinnedSurface(QString::fromLatin1(kMainSkin), this);
  surface_->setObjectName(QStringLiteral("mainSurface"));
  surface_->setFixedSize(layout::ToPixels(ml::kWidth, ml::kHeight));
  BuildControls();
  BuildStatusBar();

  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  box->setMenuBar(menu);
  box->addWidget(surface_);
  box->setSizeConstraint(QLayout::SetFixedSize);

  start_directory_ = QDir::currentPath();
  SetTabOrder();
  ApplyState(State::kSelecting);
}

MainDialog::~MainDialog() {
  // Cancel everything first so that all passes wind down together.
  if (worker_) worker_->Cancel();
  for (auto& w : retired_) w->Cancel();
  worker_.reset();
  retired_.clear();
}

QPushButton* MainDialog::AddButton(int id, const char* name, const QString& text, const QRect& place) {
  auto* button = new QPushButton(text, surface_);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(place);
  connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
  controls_.insert(id, button);
  return button;
}

void MainDialog::BuildControls() {
  // Frames first, so that everything they frame is drawn over them.
  select_frame_ = new QGroupBox(tr("Select Mdb File"), surface_);
  select_frame_->setObjectName(QStringLiteral("selectFrame"));
  select_frame_->setAlignment(Qt::AlignHCenter);
  select_frame_->setGeometry(layout::ToPixels(ml::kSelectFrame));
  controls_.insert(kIdSelectFrame, select_frame_);

  path_frame_ = new QGroupBox(surface_);
  path_frame_->setObjectName(QStringLiteral("pathFrame"));
  path_frame_->setGeometry(layout::ToPixels(ml::kPathFrame));
  controls_.insert(kIdPathFrame, path_frame_);

  progress_frame_ = new QGroupBox(surface_);
  progress_frame_->setObjectName(QStringLiteral("progressFrame"));
  progress_frame_->setGeometry(layout::ToPixels(ml::kProgressFrame));
  controls_.insert(kIdProgressFrame, progress_frame_);

  path_box_ = new QLineEdit(surface_);
  path_box_->setObjectName(QStringLiteral("pathBox"));
  path_box_->setGeometry(layout::ToPixels(ml::kPathBox));
  connect(path_box_, &QLineEdit::textEdited, this, &MainDialog::OnPathEdited);
  controls_.insert(kIdPathBox, path_box_);

  log_box_ = new QPlainTextEdit(surface_);
  log_box_->setObjectName(QStringLiteral("logBox"));
  log_box_->setGeometry(layout::ToPixels(ml::kLogBox));
  log_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The log is the program's report, not the user's text; its rules and
  // columns line up only in a fixed-pitch font and unwrapped.
  log_box_->setReadOnly(true);
  log_box_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  log_box_->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont log_font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  log_font.setPointSize(font().pointSize());
  log_box_->setFont(log_font);
  controls_.insert(kIdLogBox, log_box_);

  source_label_ = new CTransparentStatic(tr("Source File Path:"), surface_);
  source_label_->setObjectName(QStringLiteral("sourceLabel"));
  source_label_->setGeometry(layout::ToPixels(ml::kSourceLabel));
  controls_.insert(kIdSourceLabel, source_label_);

  running_path_ = new CTransparentStatic(QStringLiteral("Static"), surface_);
  running_path_->setObjectName(QStringLiteral("runningPath"));
  running_path_->setGeometry(layout::ToPixels(ml::kRunningPath));
  controls_.insert(kIdRunningPath, running_path_);

  progress_ = new QProgressBar(surface_);
  progress_->setObjectName(QStringLiteral("progressBar"));
  progress_->setGeometry(layout::ToPixels(ml::kProgress));
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  controls_.insert(kIdProgress, progress_);

  browse_ = AddButton(kIdBrowse, "browseButton", tr("&Browse..."), layout::ToPixels(ml::kBrowse));
  next_ = AddButton(kIdNext, "nextButton", tr("&Next"), layout::ToPixels(ml::kNext));
  stop_ = AddButton(kIdStop, "stopButton", tr("S&top"), layout::ToPixels(ml::kStop));
  save_ = AddButton(kIdSave, "saveButton", tr("&Save"), layout::ToPixels(ml::kSave));
  back_ = AddButton(kIdBack, "backButton", tr("Bac&k"), layout::ToPixels(ml::kBack));
  preview_ = AddButton(kIdPreview, "previewButton", tr("&View recovered data"), layout::ToPixels(ml::kPreview));
  for (QPushButton* button : {browse_, next_, stop_, save_, back_, preview_}) {
    // Enter in the path box is Next's, not that of whichever button was
    // pressed last.
    button->setAutoDefault(false);
  }
}

void MainDialog::BuildMenu(QMenuBar* menu) {
  struct Item {
    const char* menu;  // object name of its menu
    QString menu_title;
    QString text;
    int id;
  };
  const Item items[] = {
      {"file", tr("&File"), tr("&Open"), kIdFileOpen},
      {"file", tr("&File"), tr("&Recovery"), kIdFileRecovery},
      {"file", tr("&File"), tr("Recover &deleted rows"), kIdFileDeletedRows},
      {"file", tr("&File"), tr("E&xit"), kIdFileExit},
      {"help", tr("&Help"), tr("&Content"), kIdHelpContent},
      {"help", tr("&Help"), tr("&About"), kIdHelpAbout},
  };
  QHash<QString, QMenu*> menus;
  for (const Item& item : items) {
    const QString key = QString::fromLatin1(item.menu);
    QMenu*& sub = menus[key];
    if (sub == nullptr) {
      sub = menu->addMenu(item.menu_title);
      sub->setObjectName(key + QStringLiteral("Menu"));
    }
    if (item.id == kIdFileExit) sub->addSeparator();
    QAction* action = sub->addAction(item.text);
    action->setData(item.id);
    action->setObjectName(QStringLiteral("action%1").arg(item.id));
    const int id = item.id;
    actions_.insert(id, action);
    if (id == kIdFileDeletedRows) {
      // A choice kept for the session, read by every pass that starts.
      action->setCheckable(true);
      sub->insertSeparator(action);
      continue;
    }
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
  }
}

void MainDialog::BuildStatusBar() {
  status_bar_ = new QStatusBar(surface_);
  status_bar_->setObjectName(QStringLiteral("statusBar"));
  status_bar_->setSizeGripEnabled(false);
  status_bar_->setAutoFillBackground(true);
  auto* product = new QLabel(QStringLiteral(" Mendora"), status_bar_);
  product->setObjectName(QStringLiteral("statusPane0"));
  product->setFixedWidth(surface_->width() - ml::kStatusPane1Width);
  auto* web = new QLabel(QString::fromUtf8(kHomeAddress), status_bar_);
  web->setObjectName(QStringLiteral("statusPane1"));
  status_bar_->addWidget(product);
  status_bar_->addWidget(web, 1);
  const int height = status_bar_->sizeHint().height();
  status_bar_->setGeometry(0, surface_->height() - height, surface_->width(), height);
  controls_.insert(kIdStatusBar, status_bar_);
}

bool MainDialog::OnCommand(int id) {
  for (const CommandRoute& route : kCommandTable) {
    if (route.id == id) {
      (this->*route.handler)();
      return true;
    }
  }
  return false;
}

void MainDialog::ApplyState(State state) {
  struct Row {
    State state;
    bool selection, run, next, stop, save, back, open, recovery, preview;
  };
  // The workflow's state table, row by row.
  static const Row kTable[] = {
      {State::kSelecting, true, false, false, false, false, false, true, false, false},
      {State::kReady, true, false, true, false, false, false, true, true, false},
      {State::kRunning, false, true, false, true, false, true, false, false, false},
      {State::kPaused, false, true, false, true, false, true, false, false, false},
      {State::kAbandoned, false, true, false, false, false, true, false, false, false},
      {State::kCompleted, false, true, false, false, true, true, false, false, true},
      // Nothing is running any more: Stop has nothing to stop.
      {State::kFailed, false, true, false, false, false, true, false, false, false},
      // Back gives File > Open back with the Browse button it stands for.
      {State::kReturned, true, false, false, false, false, false, true, false, false},
  };
  for (const Row& row : kTable) {
    if (row.state != state) continue;
    for (QWidget* w : {static_cast<QWidget*>(select_frame_), static_cast<QWidget*>(path_box_),
                       static_cast<QWidget*>(browse_)}) {
      w->setVisible(row.selection);
    }
    for (QWidget* w : {static_cast<QWidget*>(log_box_), static_cast<QWidget*>(running_path_),
                       static_cast<QWidget*>(source_label_), static_cast<QWidget*>(path_frame_),
                       static_cast<QWidget*>(progress_frame_), static_cast<QWidget*>(progress_)}) {
      w->setVisible(row.run);
    }
    next_->setEnabled(row.next);
    stop_->setEnabled(row.stop);
    save_->setEnabled(row.save);
    back_->setEnabled(row.back);
    preview_->setEnabled(row.preview && !recovered_tables_.empty());
    actions_.value(kIdFileOpen)->setEnabled(row.open);
    actions_.value(kIdFileRecovery)->setEnabled(row.recovery);
  }
  state_ = state;
}

void MainDialog::SetTabOrder() {
  QWidget* order[] = {path_box_, browse_, log_box_, back_, save_, stop_, next_, preview_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    if (focusWidget() == path_box_) {
      // A typed path is taken as Browse takes a chosen one, and Enter goes on.
      OnCommand(kIdNext);
      return;
    }
    // Enter that no push button took ends the dialog, as its OK path does.
    // A focused push button clicks itself before the event gets here.
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace mendora
