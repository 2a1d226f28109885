#include "shell/Unit1.h"

#include "catalogue/Catalogue.h"
#include "components/Trayicon.h"
#include "engine/Picker.h"
#include "engine/Stats.h"
#include "shell/BestWindow.h"
#include "shell/CatalogueWindow.h"
#include "shell/CharacterMenu.h"
#include "shell/ErrorBox.h"
#include "shell/Forms.h"
#include "shell/FrameStyle.h"
#include "shell/ReportFile.h"
#include "shell/Startup.h"
#include "shell/StatLabels.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTextCursor>
#include <QTimer>
#include <QUrl>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace vestor {

const QString TForm1::kNewsAddress = QStringLiteral("http://vestor.example/news.php");

namespace {

// The best-set button: the size of BitBtn1, in the free strip to its left.
const QRect kBestButtonGeometry(392, 416, 59, 25);

// The character a key press types, as the key filters judge it, or none for
// keys that type nothing (arrows, Home, End, Delete, Tab) and keep their
// ordinary effect. Ctrl with a letter types a control character, as on the
// desktop the program comes from, so the clipboard keys reach the filters.
std::optional<QChar> typedCharacter(const QKeyEvent &event)
{
    const int key = event.key();
    const bool ctrl = (event.modifiers() & Qt::ControlModifier) && !(event.modifiers() & Qt::AltModifier);
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return std::nullopt;
    case Qt::Key_Backspace:
        return QChar(ctrl ? 0x7F : 0x08);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QChar(0x0D);
    case Qt::Key_Escape:
        return QChar(0x1B);
    default:
        break;
    }
    if (ctrl && key >= Qt::Key_A && key <= Qt::Key_Z)
        return QChar(key - Qt::Key_A + 1);
    if (event.text().isEmpty())
        return std::nullopt;
    return event.text().front();
}

} // namespace

TForm1::TForm1(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TForm1>()), Timer1(new QTimer(this)), catalogue_(std::make_unique<Catalogue>()),
      picker_(std::make_unique<Picker>(*this, *catalogue_))
{
    loadPictures();
    ui->setupUi(this);
    setFont(formFont());
    drawAsDesigned(this);
    setFixedSize(size()); // as designed
    move(192, 115);
    collectStatFields();
    keyFilters_[ui->Edit2] = &TForm1::Edit1KeyPress;
    for (const auto &[field, filter] : keyFilters_) {
        // Typed text must come as key presses, never as input-method commits
        // that would pass by the filter.
        static_cast<QWidget *>(field)->setAttribute(Qt::WA_InputMethodEnabled, false);
        field->installEventFilter(this);
    }
    ui->Label33->installEventFilter(this);

    bind(ui->Button1, &QPushButton::clicked, &TForm1::Button1Click);
    bind(ui->BitBtn1, &QPushButton::clicked, &TForm1::BitBtn1Click);
    bind(ui->CatalogueButton, &QPushButton::clicked, &TForm1::CatalogueButtonClick);
    addBestButton();
    bind(ui->ComboBox1, &QComboBox::activated, &TForm1::ComboBox1Change);
    bind(ui->ComboBox2, &QComboBox::activated, &TForm1::ComboBox2Change);

    chooseSaveFile = [this](const QString &lastName) { return askSaveFileName(lastName); };
    confirmReplace = [this](const QString &fileName) {
        return QMessageBox::question(
                   this, QCoreApplication::applicationName(),
                   QStringLiteral("Файл %1 уже существует.\nЗаменить его?").arg(QDir::toNativeSeparators(fileName)),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };

    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setIcon(QIcon(QStringLiteral(":/icon/vestor.png")));
    TrayIcon1->setShowApp(false);
    TrayIcon1->OnDblClick = [this](QObject *sender) { runHandler([&] { TrayIcon1DblClick(sender); }); };
    TrayIcon1->Loaded();
    characters_ = new CharacterMenu(
        *this, [this] { return inputs(); }, [this](const PickInputs &in) { setInputs(in); });
    TrayIcon1->PopupMenu = characters_->menu();

    ImageList1 = emblemFrames();
    setWindowIcon(QIcon(QStringLiteral(":/icon/vestor.png")));
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kEmblemInterval);
    connect(Timer1, &QTimer::timeout, this, [this] { runHandler([this] { Timer1Timer(); }); });
    Timer1->start();

    ui->ComboBox1->setFocus();
}

TForm1::~TForm1() = default;

void TForm1::collectStatFields()
{
    auto field = [this](const char *name) { return name ? findChild<QLineEdit *>(QLatin1String(name)) : nullptr; };
    auto label = [this](const char *name) { return name ? findChild<QLabel *>(QLatin1String(name)) : nullptr; };
    for (const Stat &s : stats()) {
        currentEdits_[s.index] = field(s.currentField);
        neededEdits_[s.index] = field(s.neededField);
        resultEdits_[s.index] = field(s.resultField);
        for (QLineEdit *input : {currentEdits_[s.index], neededEdits_[s.index]}) {
            if (!input)
                continue;
            keyFilters_[input] = s.mayBeNegative ? &TForm1::Edit27KeyPress : &TForm1::Edit1KeyPress;
            input->setMaxLength(s.fieldLength);
        }
        // Each caption names its field, for screen readers too.
        const StatLabels &labels = kStatLabels[s.index - 1];
        const std::pair<QLabel *, QLineEdit *> rows[] = {{label(labels.current), currentEdits_[s.index]},
                                                         {label(labels.needed), neededEdits_[s.index]},
                                                         {label(labels.result), resultEdits_[s.index]}};
        for (const auto &[caption, edit] : rows)
            if (caption)
                caption->setBuddy(edit);
    }
}

template <typename Signal, typename Sender> void TForm1::bind(Sender *sender, Signal signal, void (TForm1::*handler)())
{
    connect(sender, signal, this, [this, handler] { runHandler([this, handler] { (this->*handler)(); }); });
}

// ---- start-up ----

void TForm1::FormCreate(const QString &programPath, int splashMs)
{
    runHandler([&] {
        frame_ = 0;
        // The table loads while the splash is up; its errors show once the splash is gone.
        const SplashStart start = loadBehindSplash(splashMs, [&](const LoadProgress &progress) {
            catalogue_->setLoadProgress(progress);
            catalogue_->setUp(programPath);
        });
        catalogue_->setLoadProgress({});
        quitRequested_ = start.closeRequested;
        if (start.failure)
            std::rethrow_exception(start.failure);
    });
}

void TForm1::Timer1Timer()
{
    const int frame = emblemTick(frame_);
    if (frame < 0)
        return;
    ui->Image2->setPixmap(ImageList1.value(frame));
    setWindowIcon(QIcon(ImageList1.value(frame)));
}

// ---- key filters ----

void TForm1::Edit1KeyPress(QObject *, QChar &Key)
{
    const bool digit = Key >= u'0' && Key <= u'9';
    if (Key != QChar(0x08) && !digit)
        Key = QChar(0);
}

void TForm1::Edit27KeyPress(QObject *Sender, QChar &Key)
{
    if (Key != u'-')
        Edit1KeyPress(Sender, Key);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto filter = keyFilters_.find(watched);
        if (filter != keyFilters_.end()) {
            const auto typed = typedCharacter(*static_cast<QKeyEvent *>(event));
            if (!typed)
                return false;
            QChar key = *typed;
            filter->second(watched, key);
            return key.isNull();
        }
    }
    if (watched == ui->Label33 && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && ui->Label33->rect().contains(mouse->position().toPoint()))
            runHandler([this] { Label33Click(); });
    }
    return QWidget::eventFilter(watched, event);
}

// ---- the pick and the lists ----

void TForm1::Button1Click()
{
    characters_->rememberLastPick();
    picker_->Button1Click();
    markUnmetResults();
}

void TForm1::markUnmetResults()
{
    // Red where the set leaves a need short; the report itself stays as it is.
    const vestor::PickInputs asked = inputs();
    for (const vestor::Stat &s : vestor::stats()) {
        bool needed = false, given = false;
        const double need = asked.needed[s.index].toDouble(&needed);
        const double yield = resultText(s.index).toDouble(&given);
        QLineEdit *field = resultEdits_[s.index];
        QPalette palette = field->palette();
        const bool isShort = needed && given && vestor::shortfall(s, need, yield) > 0;
        palette.setColor(QPalette::Text,
                         isShort ? QColor(0xc0, 0, 0) : QApplication::palette(field).color(QPalette::Text));
        field->setPalette(palette);
        field->setToolTip(isShort ? QStringLiteral("Меньше нужного: нужно %1").arg(asked.needed[s.index]) : QString());
    }
}

void TForm1::ComboBox1Change()
{
    // Only a real change of the selection counts.
    if (ui->ComboBox1->currentIndex() == raceIndex_)
        return;
    raceIndex_ = ui->ComboBox1->currentIndex();
    catalogue_->raceChanged(ui->ComboBox1->currentText());
}

void TForm1::ComboBox2Change()
{
    if (ui->ComboBox2->currentIndex() == levelIndex_)
        return;
    levelIndex_ = ui->ComboBox2->currentIndex();
    catalogue_->levelChanged(ui->ComboBox2->currentText());
}

namespace {

vestor::CatalogueWindow::LoadedTable loadedTable(const vestor::Catalogue &catalogue)
{
    return {catalogue.rows(), catalogue.tablePath(), catalogue.fileIdentity()};
}

} // namespace

void TForm1::CatalogueButtonClick()
{
    if (!catalogueWindow_) {
        catalogueWindow_ = new CatalogueWindow(this);
        catalogueWindow_->player = [this] {
            const Race *race = raceByName(ui->ComboBox1->currentText());
            return std::pair(race ? QString::fromLatin1(race->code) : QString(), ui->ComboBox2->currentText().toInt());
        };
        catalogueWindow_->reload = [this](const QString &tablePath) {
            catalogue_->reloadFrom(QFileInfo(tablePath).absolutePath());
            return loadedTable(*catalogue_);
        };
    }
    if (!catalogueWindow_->isVisible()) {
        const QString tablePath = catalogue_->tablePath();
        // The installed table is everyone's: edits to it become the user's own copy.
        const bool shared = QDir(catalogue_->database().path()) == QDir(sharedDataDirectory(programFilePath()));
        catalogueWindow_->userCopy =
            shared ? QDir(userDataDirectory()).filePath(QFileInfo(tablePath).fileName()) : QString();
        catalogueWindow_->open(loadedTable(*catalogue_),
                               catalogue_->loaded() ? QString() : QStringLiteral("Таблица вещей не загружена"));
    }
    catalogueWindow_->show();
    catalogueWindow_->raise();
    catalogueWindow_->activateWindow();
}

PickInputs TForm1::inputs() const
{
    PickInputs in;
    in.race = ui->ComboBox1->currentText();
    in.level = ui->ComboBox2->currentText();
    in.money = ui->Edit2->text();
    for (const Stat &s : stats()) {
        if (const QLineEdit *current = currentEdits_[s.index])
            in.current[s.index] = current->text();
        in.needed[s.index] = neededEdits_[s.index]->text();
    }
    return in;
}

void TForm1::setInputs(const PickInputs &in)
{
    ui->ComboBox1->setCurrentText(in.race);
    ComboBox1Change();
    ui->ComboBox2->setCurrentText(in.level);
    ComboBox2Change();
    ui->Edit2->setText(in.money);
    for (const Stat &s : stats()) {
        if (QLineEdit *current = currentEdits_[s.index])
            current->setText(in.current[s.index]);
        neededEdits_[s.index]->setText(in.needed[s.index]);
    }
}

QString TForm1::resultText(int stat) const { return resultEdits_.at(stat)->text(); }
void TForm1::setResultText(int stat, const QString &text) { resultEdits_.at(stat)->setText(text); }

void TForm1::clearReport() { ui->Memo1->clear(); }

void TForm1::appendReportLine(const QString &line)
{
    // Like a memo's added line: it starts on a line of its own and ends with
    // a line break, so a saved report ends every line with CR LF.
    QTextCursor end(ui->Memo1->document());
    end.movePosition(QTextCursor::End);
    const QString text = ui->Memo1->toPlainText();
    end.insertText((text.isEmpty() || text.endsWith(u'\n') ? QString() : QStringLiteral("\n")) + line + u'\n');
}

// ---- saving the report ----

QString TForm1::askSaveFileName(const QString &lastName)
{
    if (!SaveDialog1) {
        SaveDialog1 = new QFileDialog(this);
        SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
        SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
        SaveDialog1->setNameFilter(QStringLiteral("Текстовый файл (*.txt)"));
        // The name written is settled after the dialog (".txt"); so is the question.
        SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (!lastName.isEmpty())
        SaveDialog1->selectFile(lastName);
    if (SaveDialog1->exec() != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty())
        return {};
    return SaveDialog1->selectedFiles().constFirst();
}

void TForm1::BitBtn1Click() { saveText(ui->Memo1->toPlainText()); }

void TForm1::saveText(const QString &text)
{
    const QString chosen = chooseSaveFile(saveFileName_);
    if (chosen.isEmpty())
        return;
    saveFileName_ = chosen;
    const QString fileName = reportFileName(chosen);
    if (QFileInfo::exists(fileName) && !confirmReplace(fileName))
        return;
    writeReport(fileName, text);
}

// ---- the best set ----

void TForm1::addBestButton()
{
    // In the free strip left of BitBtn1; outside the tab chain, so the designed tab order stays as it is.
    auto *button = new QPushButton(QStringLiteral("Лучший"), this);
    button->setObjectName(QStringLiteral("BestButton"));
    button->setGeometry(kBestButtonGeometry);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(QStringLiteral("Лучший комплект: самый дешёвый набор, выполняющий все требования, или "
                                      "ближайший к ним, рядом с обычным подбором (Ctrl+B)"));
    bind(button, &QPushButton::clicked, &TForm1::BestButtonClick);
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_B), this);
    bind(shortcut, &QShortcut::activated, &TForm1::BestButtonClick);
}

void TForm1::BestButtonClick()
{
    if (!bestWindow_) {
        bestWindow_ = new BestWindow(*catalogue_, this);
        bestWindow_->inputs = [this] { return inputs(); };
        bestWindow_->saveReport = [this](const QString &text) { saveText(text); };
    }
    bestWindow_->show();
    bestWindow_->raise();
    bestWindow_->activateWindow();
    bestWindow_->solve();
}

// ---- notification area and news link ----

bool TForm1::WMGetSysCommand(unsigned command)
{
    // Without a notification area a hidden window could not be reached again.
    if (command != kScMinimize || !trayAvailable())
        return false;
    hide();
    TrayIcon1->setActive(true);
    return true;
}

void TForm1::TrayIcon1DblClick(QObject *)
{
    TrayIcon1->setActive(false);
    show();
    raise();
    activateWindow();
}

void TForm1::changeEvent(QEvent *event)
{
#ifndef Q_OS_WIN
    // Here the window manager minimizes first; the window then goes to the
    // notification area instead, in its normal state.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        !(static_cast<QWindowStateChangeEvent *>(event)->oldState() & Qt::WindowMinimized)) {
        if (trayAvailable()) {
            // Back to the normal state first: restoring a hidden window's
            // state would map it again behind the toolkit's back.
            setWindowState(windowState() & ~Qt::WindowMinimized);
            runHandler([this] { WMGetSysCommand(kScMinimize); });
        }
    }
#endif
    QWidget::changeEvent(event);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // The program ends with this window: unsaved catalogue edits are asked about first.
    if (catalogueWindow_ && catalogueWindow_->isVisible() && !catalogueWindow_->close()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

#ifdef Q_OS_WIN
bool TForm1::nativeEvent(const QByteArray &eventType, void *message, qintptr *result)
{
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message == WM_SYSCOMMAND) {
        bool taken = false;
        runHandler([&] { taken = WMGetSysCommand(unsigned(msg->wParam)); });
        if (taken) {
            *result = 0;
            return true;
        }
    }
    return QWidget::nativeEvent(eventType, message, result);
}
#endif

void TForm1::Label33Click() { openUrl(QUrl(kNewsAddress)); }

} // namespace vestor
