#pragma once

#include "engine/Stats.h"
#include "engine/Window.h"

#include <QList>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <unordered_map>

class BestWindow;
class QFileDialog;
class QLineEdit;
class QTimer;
class QUrl;
class TTrayIcon;
namespace Ui {
class TForm1;
}
namespace vestor {
class Catalogue;
class CatalogueWindow;
class CharacterMenu;
class Picker;
} // namespace vestor

// The main window: the inputs of a pick, the report, the result fields, the
// save button, the emblem and the news link. The pick itself runs in the
// engine, which reaches the fields through vestor::Window.
class TForm1 : public QWidget, public vestor::Window
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Key filters of the numeric fields: they leave Key alone or set it to 0,
    // which drops the character.
    static void Edit1KeyPress(QObject *Sender, QChar &Key);
    static void Edit27KeyPress(QObject *Sender, QChar &Key);
    void Label33Click();
    void BitBtn1Click();
    // "Лучший": opens the best-set window over the current inputs and starts its solve.
    void BestButtonClick();
    // Saves `text` as a report the way BitBtn1 saves the memo: the same dialog, name and question.
    void saveText(const QString &text);
    // The level as the level list shows it.
    QString levelText() const;
    // The window's system command (SC_MINIMIZE = 0xF020 hides it into the
    // notification area); returns whether the command was taken here.
    bool WMGetSysCommand(unsigned command);
    void TrayIcon1DblClick(QObject *Sender);
    // The rest of the window's creation: splash, wait, catalogue set-up.
    // Errors are shown in the error box; the window opens all the same.
    void FormCreate(const QString &programPath, int splashMs = 1500);
    void Timer1Timer();
    void Button1Click();
    // Draws red the result fields whose stat falls short of its need.
    void markUnmetResults();
    void ComboBox1Change();
    void ComboBox2Change();
    // Opens the catalogue window, or brings it forward.
    void CatalogueButtonClick();

    // vestor::Window
    QString raceText() const override;
    QString moneyText() const override;
    QString currentText(int stat) const override;
    QString neededText(int stat) const override;
    QString resultText(int stat) const override;
    void setResultText(int stat, const QString &text) override;
    void clearReport() override;
    void appendReportLine(const QString &line) override;

    // What the window asks of the desktop, replaceable where there is none
    // (and in tests). chooseSaveFile returns the chosen name, empty on cancel.
    std::function<QString(const QString &lastName)> chooseSaveFile;
    std::function<bool(const QString &fileName)> confirmReplace;
    std::function<bool()> trayAvailable;
    std::function<bool(const QUrl &url)> openUrl;

    vestor::Catalogue &catalogue() { return *catalogue_; }
    vestor::CharacterMenu &characters() { return *characters_; }
    TTrayIcon *TrayIcon1;
    int frameCounter() const { return frame_; }
    // The splash was asked to close: the program ends as soon as it runs.
    bool quitRequested() const { return quitRequested_; }

    static constexpr unsigned kScMinimize = 0xF020;
    static const QString kNewsAddress;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray &eventType, void *message, qintptr *result) override;
#endif

private:
    void addBestButton();
    // Every handler runs through the one error boundary.
    template <typename Signal, typename Sender> void bind(Sender *sender, Signal signal, void (TForm1::*handler)());
    QString askSaveFileName(const QString &lastName);
    // The fields of each stat, collected once from their design names.
    void collectStatFields();

    std::unique_ptr<Ui::TForm1> ui;
    // Indexed by stat index 1..18; element 0 unused, null where a stat has no field.
    std::array<QLineEdit *, vestor::kStatCount + 1> currentEdits_{};
    std::array<QLineEdit *, vestor::kStatCount + 1> neededEdits_{};
    std::array<QLineEdit *, vestor::kStatCount + 1> resultEdits_{};
    std::unordered_map<QObject *, void (*)(QObject *, QChar &)> keyFilters_;

    QList<QPixmap> ImageList1;
    QTimer *Timer1;
    int frame_ = 0;

    std::unique_ptr<vestor::Catalogue> catalogue_;
    std::unique_ptr<vestor::Picker> picker_;
    vestor::CharacterMenu *characters_ = nullptr;
    vestor::CatalogueWindow *catalogueWindow_ = nullptr;

    QFileDialog *SaveDialog1 = nullptr;
    QString saveFileName_; // the name last confirmed in the save dialog
    int raceIndex_ = 0;
    int levelIndex_ = 0;
    bool quitRequested_ = false;
    BestWindow *bestWindow_ = nullptr;
};
