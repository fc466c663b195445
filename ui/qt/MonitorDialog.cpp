#include "ui/qt/MonitorDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>

#include "ui/model/CommandId.h"
#include "ui/model/DialogTemplates.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DialogFocus.h"
#include "ui/qt/DialogLayout.h"
#include "ui/qt/IconControl.h"
#include "ui/qt/MailSettingsDialog.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/NumberField.h"
#include "ui/qt/ProgramIcon.h"
#include "ui/qt/TrayIcon.h"
#include "ui/qt/UiTexts.h"

namespace tolvane {

namespace {

constexpr int kTimerIds[] = {CheckTimer, AutoStartTimer, AutoHideTimer};

QLabel* Label(UiText text, QWidget* parent) {
    auto* label = new QLabel(QText(text), parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLineEdit* DigitsField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    return field;
}

}  // namespace

MonitorDialog::MonitorDialog(RegistryHive& classesRoot, CycleParts parts, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      model_(classesRoot, std::move(parts), *this) {
    setObjectName(QStringLiteral("MonitorDialog"));
    // A second copy finds the running one by this title.
    setWindowTitle(QText(UiText::WindowTitle));
    setFont(DialogFont());

    for (int id : kTimerIds) {
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id] { model_.OnTimer(id); });
        timers_[id] = timer;
    }
    CreateControls();
    CreateMenus();
    LayOut();
    model_.Open();
}

MonitorDialog::~MonitorDialog() {
    for (auto& [id, timer] : timers_) {
        timer->stop();
    }
    if (tray_ != nullptr) {
        tray_->Remove();
    }
}

void MonitorDialog::CreateControls() {
    // Created in the template's order, which is also the tab order.
    auto* intervalLabel = Label(UiText::IntervalLabel, this);
    auto* interval = DigitsField(this);
    intervalLabel->setBuddy(interval);
    auto* intervalUnit = Label(UiText::IntervalUnit, this);
    auto* portLabel = Label(UiText::PortLabel, this);
    auto* port = DigitsField(this);
    portLabel->setBuddy(port);
    auto* test = new QPushButton(QText(UiText::ConnectionTestButton), this);
    auto* ftp = new QCheckBox(QText(UiText::FtpCheck), this);
    auto* smtp = new QCheckBox(QText(UiText::SmtpCheck), this);
    auto* nntp = new QCheckBox(QText(UiText::NntpCheck), this);
    auto* msdtc = new QCheckBox(QText(UiText::MsdtcCheck), this);
    auto* icon = new IconControl(this);
    auto* status = Label(UiText::StatusPlaceholder, this);
    status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* start = new QPushButton(QText(UiText::StartButton), this);
    auto* stop = new QPushButton(QText(UiText::StopButton), this);
    save_ = new QPushButton(QText(UiText::SaveButton), this);
    save_->hide();
    auto* hide = new QPushButton(QText(UiText::HideButton), this);
    hide->setDefault(true);
    auto* exit = new QPushButton(QText(UiText::ExitButton), this);

    layout_.Add(intervalLabel, AT_INTERVAL_LABEL);
    layout_.Add(interval, AT_INTERVAL_FIELD, false);
    layout_.Add(intervalUnit, AT_INTERVAL_UNIT);
    layout_.Add(portLabel, AT_PORT_LABEL);
    layout_.Add(port, AT_PORT_FIELD, false);
    layout_.Add(test, AT_CONNECTION_TEST);
    layout_.Add(ftp, AT_FTP);
    layout_.Add(smtp, AT_SMTP);
    layout_.Add(nntp, AT_NNTP);
    layout_.Add(msdtc, AT_MSDTC);
    layout_.Add(icon, AT_ICON_CONTROL, false);
    layout_.Add(status, AT_STATUS_LINE, false);
    layout_.Add(start, AT_START);
    layout_.Add(stop, AT_STOP);
    layout_.Add(save_, AT_SAVE);
    layout_.Add(hide, AT_HIDE);
    layout_.Add(exit, AT_EXIT);

    controls_ = {{IntervalField, interval}, {PortField, port},     {ConnectionTestCommand, test},
                 {FtpCheck, ftp},           {SmtpCheck, smtp},     {NntpCheck, nntp},
                 {MsdtcCheck, msdtc},       {IconControlId, icon}, {StatusLine, status},
                 {StartCommand, start},     {StopCommand, stop},   {SaveCommand, save_},
                 {HideCommand, hide},       {ExitCommand, exit}};
    for (const auto& [id, control] : controls_) {
        control->setObjectName(QString::number(id));
    }

    const std::pair<QPushButton*, int> buttons[] = {
        {test, ConnectionTestCommand}, {start, StartCommand}, {stop, StopCommand},
        {save_, SaveCommand},          {hide, HideCommand},   {exit, ExitCommand}};
    for (const auto& [button, id] : buttons) {
        connect(button, &QPushButton::clicked, this, [this, id = id] { Command(id); });
    }
    connect(icon, &IconControl::clicked, this, [this] { Command(IconControlId); });
    for (QLineEdit* field : {interval, port}) {
        connect(field, &QLineEdit::textChanged, this, [this] { model_.ControlEdited(); });
    }
    // Leaving the number fields, and the access keys of the controls wherever the focus is.
    for (const auto& [id, control] : controls_) {
        control->installEventFilter(this);
    }
    for (QCheckBox* box : {ftp, smtp, nntp, msdtc}) {
        connect(box, &QCheckBox::clicked, this, [this] { model_.ControlEdited(); });
    }
}

void MonitorDialog::CreateMenus() {
    menuBar_ = new QMenuBar(this);
    // The menu belongs to the window, also where the desktop offers a global menu bar.
    menuBar_->setNativeMenuBar(false);
    QMenu* file = menuBar_->addMenu(QText(UiText::FileMenu));
    // The menu has two separators in a row before Exit; Qt would draw them as one.
    file->setSeparatorsCollapsible(false);
    menuItems_[MailSettingsCommand] = file->addAction(QText(UiText::MailSettingsItem));
    file->addSeparator();
    QMenu* mode = file->addMenu(QText(UiText::StartupModeMenu));
    menuItems_[ManualModeCommand] = mode->addAction(QText(UiText::ManualItem));
    menuItems_[AutoModeCommand] = mode->addAction(QText(UiText::AutoItem));
    file->addSeparator();
    file->addSeparator();
    menuItems_[ExitCommand] = file->addAction(QText(UiText::ExitItem));
    QMenu* help = menuBar_->addMenu(QText(UiText::HelpMenu));
    menuItems_[AboutCommand] = help->addAction(QText(UiText::AboutItem));

    // What the window menu (system menu) gains on Windows; Linux window managers offer no
    // way to add to theirs, so it opens with a right click on the window.
    windowMenu_ = new QMenu(this);
    windowMenuItems_[HideWindowItem] = windowMenu_->addAction(QText(UiText::HideWindowItem));
    windowMenu_->addSeparator();
    windowMenuItems_[AboutCommand] = windowMenu_->addAction(QText(UiText::AboutItem));

    for (QMenu* menu : {file, mode, help, windowMenu_}) {
        connect(menu, &QMenu::aboutToShow, this, [this] { model_.GreyMenus(); });
    }
    for (const auto& [id, action] : menuItems_) {
        action->setCheckable(id == AutoModeCommand || id == ManualModeCommand);
        connect(action, &QAction::triggered, this, [this, id = id] { Command(id); });
    }
    for (const auto& [id, action] : windowMenuItems_) {
        connect(action, &QAction::triggered, this,
                [this, id = id] { model_.WindowMenuCommand(id); });
    }
}

void MonitorDialog::LayOut() {
    const int menuHeight = menuBar_->sizeHint().height();
    layout_.Apply(this, SIZE_MAIN_WINDOW, menuHeight);
    menuBar_->setGeometry(0, 0, width(), menuHeight);
}

QWidget* MonitorDialog::Control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

QAction* MonitorDialog::MenuItem(int id) const {
    const auto found = menuItems_.find(id);
    return found == menuItems_.end() ? nullptr : found->second;
}

QAction* MonitorDialog::WindowMenuItem(int id) const {
    const auto found = windowMenuItems_.find(id);
    return found == windowMenuItems_.end() ? nullptr : found->second;
}

bool MonitorDialog::TimerArmed(int id) const {
    const auto found = timers_.find(id);
    return found != timers_.end() && found->second->isActive();
}

void MonitorDialog::SetStatusLine(const std::string& cp932) {
    static_cast<QLabel*>(Control(StatusLine))->setText(ToQString(cp932));
}

void MonitorDialog::SetChecked(int id, bool checked) {
    static_cast<QCheckBox*>(Control(id))->setChecked(checked);
}

bool MonitorDialog::Checked(int id) const {
    return static_cast<QCheckBox*>(Control(id))->isChecked();
}

void MonitorDialog::SetNumber(int id, std::uint32_t value) {
    static_cast<QLineEdit*>(Control(id))->setText(QString::number(value));
}

bool MonitorDialog::ReadNumber(int id, const NumberRule& rule, std::uint32_t& value) {
    return ReadNumberField(this, static_cast<QLineEdit*>(Control(id)), rule, value);
}

void MonitorDialog::EnableControl(int id, bool enabled) {
    if (QWidget* control = Control(id)) {
        control->setEnabled(enabled);
    }
}

void MonitorDialog::ShowSaveButton(bool shown) {
    save_->setVisible(shown);
}

void MonitorDialog::CheckMenuItem(int id, bool checked) {
    menuItems_[id]->setChecked(checked);
}

void MonitorDialog::EnableMenuItem(int id, bool enabled) {
    menuItems_[id]->setEnabled(enabled);
}

void MonitorDialog::EnableWindowMenuItem(int id, bool enabled) {
    windowMenuItems_[id]->setEnabled(enabled);
}

void MonitorDialog::SetWindowIcons() {
    setWindowIcon(ProgramIcon());
}

void MonitorDialog::AddTrayIcon() {
    tray_ = new TrayIcon(ProgramIcon(), Text(UiText::TrayTip), this);
    connect(tray_, &TrayIcon::showRequested, this, [this] { Command(ShowCommand); });
    connect(tray_, &TrayIcon::aboutRequested, this, [this] { Command(AboutCommand); });
    tray_->Add();
}

void MonitorDialog::DrawNow() {
    // The thread may block right after this; draw now, not when the event loop comes back.
    repaint();
}

void MonitorDialog::Repaint() {
    repaint();
}

void MonitorDialog::FocusDialog() {
    // A focused push button takes Return for itself; the default button is the one push
    // button that may hold the focus. Never the window itself, where Return and typing would
    // go nowhere.
    QWidget* hide = controls_.at(HideCommand);
    if (hide->isEnabled() && hide->isVisibleTo(this)) {
        hide->setFocus(Qt::OtherFocusReason);
    } else {
        tolvane::FocusFirstControl(this, true);
    }
}

bool MonitorDialog::ModalOpen() const {
    return QApplication::activeModalWidget() != nullptr ||
           QApplication::activePopupWidget() != nullptr;
}

void MonitorDialog::HideWindow() {
    hide();
}

void MonitorDialog::ShowWindow() {
    show();
    raise();
    activateWindow();
}

void MonitorDialog::ArmTimer(int id, std::uint32_t ms) {
    const auto found = timers_.find(id);
    if (found != timers_.end()) {
        // Interval x 1000 is at most 99 999 000 ms, well inside an int.
        found->second->start(static_cast<int>(std::min<std::uint32_t>(ms, 0x7FFFFFFF)));
    }
}

void MonitorDialog::KillTimer(int id) {
    const auto found = timers_.find(id);
    if (found != timers_.end()) {
        found->second->stop();
    }
}

void MonitorDialog::reject() {
    model_.Command(ExitCommand, CommandSource::DialogManager);
}

void MonitorDialog::Close() {
    tray_->Remove();
    done(QDialog::Rejected);
}

void MonitorDialog::Beep() {
    MessageBox::Beep();
}

void MonitorDialog::Message(bool information, const std::string& cp932,
                            const std::string& systemText) {
    MessageBox::ShowProgramMessage(this, information, cp932, systemText);
}

void MonitorDialog::OpenMailSettings() {
    MailSettingsDialog::Edit(model_.Record(), model_.Store(), model_.SendMail(), this);
}

void MonitorDialog::OpenAbout() {
    AboutDialog about(this);
    about.exec();
}

void MonitorDialog::contextMenuEvent(QContextMenuEvent* event) {
    windowMenu_->exec(event->globalPos());
}

bool MonitorDialog::event(QEvent* event) {
    if (HandleAccessKey(this, controls_, event)) {
        return true;
    }
    return QDialog::event(event);
}

bool MonitorDialog::eventFilter(QObject* watched, QEvent* event) {
    if (HandleAccessKey(this, controls_, event)) {
        return true;
    }
    auto* field = qobject_cast<QLineEdit*>(watched);
    // A field that loses the focus because it was just disabled was not left by the user.
    if (event->type() == QEvent::FocusOut && !model_.Exchanging() && field != nullptr &&
        field->isEnabled() && (field == Control(PortField) || field == Control(IntervalField))) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Switching to another window or opening a menu is not leaving the field. Read once the
        // focus has moved: a box opened inside the move would leave a pressed button stuck or
        // have the field drop its selection afterwards.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            model_.FieldLeft()) {
            QMetaObject::invokeMethod(
                this, [this] { model_.ReadLeftField(); }, Qt::QueuedConnection);
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace tolvane
