// MainDialog as a window: its controls, menu, status bar and first state.
// What the commands do is in recovery_workflow.cc.
#include "app/main_dialog.h"

#include <QAction>
#include <algorithm>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/build_info.h"
#include "app/control_ids.h"
#include "app/log_font.h"
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
    {kIdPreview, &MainDialog::OnPreview},     {kIdFileSaveReport, &MainDialog::OnSaveReport},
};

MainDialog::MainDialog(const AppServices& services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      services_(services) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setObjectName(QStringLiteral("mainDialog"));
  EnsureResources();
  setWindowIcon(QIcon(QString::fromLatin1(kAppIcon)));
  QFont dialog_font = font();
  dialog_font.setPointSize(layout::kDialogPointSize);
  setFont(dialog_font);

  auto* menu = new QMenuBar(this);
  menu->setNativeMenuBar(false);
  BuildMenu(menu);

  surface_ = new SkinnedSurface(QString::fromLatin1(kMainSkin), this);
  surface_->setObjectName(QStringLiteral("mainSurface"));
  surface_->SetFixedEdges(ml::kFixedEdges);
  BuildControls();
  BuildStatusBar();

  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  box->setMenuBar(menu);
  box->addWidget(surface_);

  // Never smaller than the skin, nor than longer words need; as large as
  // the user makes it, and as large again at the next start.
  surface_->setMinimumSize(surface_->minimumSizeHint().expandedTo(ml::kSkinSize));
  // The first start gives the log more room than the skin's own size, as
  // far as the screen allows.
  QSize first = ml::kFirstSize + QSize(0, menu->sizeHint().height());
  if (const QScreen* shown_on = screen()) first = first.boundedTo(shown_on->availableSize() * 9 / 10);
  resize(first.expandedTo(minimumSizeHint()));
  const QByteArray kept = QSettings().value(QString::fromLatin1(kWindowGeometryKey)).toByteArray();
  if (!kept.isEmpty()) restoreGeometry(kept);

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

void MainDialog::done(int result) {
  QSettings().setValue(QString::fromLatin1(kWindowGeometryKey), saveGeometry());
  QDialog::done(result);
}

QPushButton* MainDialog::AddButton(int id, const char* name, const QString& text, int min_width) {
  auto* button = new QPushButton(text, footer_);
  button->setObjectName(QString::fromLatin1(name));
  // Never narrower than its words, which may be longer in translation.
  button->setMinimumWidth(std::max(min_width, button->sizeHint().width()));
  connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
  controls_.insert(id, button);
  return button;
}

void MainDialog::BuildControls() {
  path_frame_ = new QGroupBox(surface_);
  path_frame_->setObjectName(QStringLiteral("pathFrame"));
  controls_.insert(kIdPathFrame, path_frame_);
  source_label_ = new CTransparentStatic(tr("Source File Path:"), path_frame_);
  source_label_->setObjectName(QStringLiteral("sourceLabel"));
  controls_.insert(kIdSourceLabel, source_label_);
  running_path_ = new CTransparentStatic(QStringLiteral("Static"), path_frame_);
  running_path_->setObjectName(QStringLiteral("runningPath"));
  // A path longer than the window is cut in its middle, where it matters least.
  running_path_->SetElideMode(Qt::ElideMiddle);
  running_path_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  controls_.insert(kIdRunningPath, running_path_);
  auto* path_row = new QHBoxLayout(path_frame_);
  path_row->setContentsMargins(4, 2, 4, 2);
  path_row->addWidget(source_label_);
  path_row->addWidget(running_path_, 1);

  select_frame_ = new QGroupBox(tr("Select Access Database File"), surface_);
  select_frame_->setObjectName(QStringLiteral("selectFrame"));
  select_frame_->setAlignment(Qt::AlignHCenter);
  controls_.insert(kIdSelectFrame, select_frame_);
  path_box_ = new QLineEdit(select_frame_);
  path_box_->setObjectName(QStringLiteral("pathBox"));
  path_box_->setMinimumWidth(layout::kButtonWidth * 3);
  connect(path_box_, &QLineEdit::textEdited, this, &MainDialog::OnPathEdited);
  controls_.insert(kIdPathBox, path_box_);
  browse_ = new QPushButton(tr("&Browse..."), select_frame_);
  browse_->setObjectName(QStringLiteral("browseButton"));
  browse_->setMinimumWidth(std::max(layout::kButtonWidth, browse_->sizeHint().width()));
  connect(browse_, &QPushButton::clicked, this, [this] { OnCommand(kIdBrowse); });
  controls_.insert(kIdBrowse, browse_);
  auto* select_row = new QHBoxLayout(select_frame_);
  select_row->setContentsMargins(20, 12, 20, 16);
  select_row->addWidget(path_box_, 1);
  select_row->addWidget(browse_);

  log_box_ = new QPlainTextEdit(surface_);
  log_box_->setObjectName(QStringLiteral("logBox"));
  log_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The log is the program's report, not the user's text; its rules and
  // columns line up only in a fixed-pitch font and unwrapped.
  log_box_->setReadOnly(true);
  log_box_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  log_box_->setLineWrapMode(QPlainTextEdit::NoWrap);
  log_box_->setFont(FixedPitchFont(layout::kDialogPointSize));
  log_box_->setMinimumHeight(QFontMetrics(log_box_->font()).lineSpacing() * 6);
  controls_.insert(kIdLogBox, log_box_);

  progress_frame_ = new QGroupBox(surface_);
  progress_frame_->setObjectName(QStringLiteral("progressFrame"));
  controls_.insert(kIdProgressFrame, progress_frame_);
  progress_ = new QProgressBar(progress_frame_);
  progress_->setObjectName(QStringLiteral("progressBar"));
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  controls_.insert(kIdProgress, progress_);
  auto* progress_row = new QHBoxLayout(progress_frame_);
  progress_row->setContentsMargins(16, 8, 16, 8);
  progress_row->addWidget(progress_);

  // The selection and the log take turns in the same place: the one shown
  // fills it (the log) or stands in its middle (the selection).
  auto* middle = new QGridLayout();
  middle->setContentsMargins(0, 0, 0, 0);
  middle->addWidget(log_box_, 0, 0);
  middle->addWidget(select_frame_, 0, 0, Qt::AlignVCenter);

  auto* working = new QVBoxLayout();
  working->setContentsMargins(ml::kWorkingArea);
  working->setSpacing(6);
  working->addWidget(path_frame_);
  working->addLayout(middle, 1);
  working->addWidget(progress_frame_);

  footer_ = new QWidget(surface_);
  footer_->setObjectName(QStringLiteral("footer"));
  back_ = AddButton(kIdBack, "backButton", tr("Bac&k"), layout::kButtonWidth);
  save_ = AddButton(kIdSave, "saveButton", tr("&Save"), layout::kButtonWidth);
  stop_ = AddButton(kIdStop, "stopButton", tr("S&top"), layout::kButtonWidth);
  next_ = AddButton(kIdNext, "nextButton", tr("&Next"), layout::kButtonWidth);
  preview_ = AddButton(kIdPreview, "previewButton", tr("&View recovered data"), ml::kPreviewButtonWidth);
  auto* buttons = new QHBoxLayout();
  buttons->setContentsMargins(ml::kWorkingArea.left(), 6, ml::kButtonsRight, 0);
  buttons->setSpacing(14);
  buttons->addStretch(1);
  for (QPushButton* button : {back_, save_, stop_, next_, preview_}) buttons->addWidget(button);
  for (QPushButton* button : {browse_, next_, stop_, save_, back_, preview_}) {
    // Enter in the path box is Next's, not that of whichever button was
    // pressed last.
    button->setAutoDefault(false);
  }
  auto* footer_box = new QVBoxLayout(footer_);
  footer_box->setContentsMargins(0, 0, 0, 0);
  footer_box->setSpacing(3);
  footer_box->addLayout(buttons);

  auto* whole = new QVBoxLayout(surface_);
  whole->setContentsMargins(0, 0, 0, 0);
  whole->setSpacing(6);
  whole->addLayout(working, 1);
  whole->addWidget(footer_);
  surface_->SetFooter(footer_, ml::kFooterRow);
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
      {"file", tr("&File"), tr("Save re&port..."), kIdFileSaveReport},
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
  status_bar_ = new QStatusBar(footer_);
  status_bar_->setObjectName(QStringLiteral("statusBar"));
  status_bar_->setSizeGripEnabled(true);
  status_bar_->setAutoFillBackground(true);
  auto* product = new QLabel(QStringLiteral(" Mendora"), status_bar_);
  product->setObjectName(QStringLiteral("statusPane0"));
  auto* web = new QLabel(QString::fromUtf8(kHomeAddress), status_bar_);
  web->setObjectName(QStringLiteral("statusPane1"));
  web->setVisible(!web->text().isEmpty());
  status_bar_->addWidget(product, 1);
  // The address stays while the bar shows a message.
  status_bar_->addPermanentWidget(web);
  qobject_cast<QVBoxLayout*>(footer_->layout())->addWidget(status_bar_);
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
    actions_.value(kIdFileSaveReport)->setEnabled(state == State::kCompleted && last_report_.has_value());
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
