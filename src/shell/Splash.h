#pragma once

#include <QList>
#include <QPixmap>
#include <QWidget>
#include <memory>

class QTimer;
namespace Ui {
class TForm2;
}

namespace vestor {

// The splash: a borderless picture with the turning emblem, shown while the
// program starts.
class TForm2 : public QWidget
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);
    ~TForm2() override;

    void FormCreate();
    void Timer1Timer();

    // The user asked to close the splash (Alt+F4): the program is to end
    // once it has started.
    bool closeRequested() const { return closeRequested_; }
    int frameCounter() const { return frame_; }

    // Shows how far the item table has loaded, as a thin bar along the
    // bottom edge.
    void showLoadProgress(qint64 bytesRead, qint64 bytesTotal);

signals:
    void hidden();

protected:
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    std::unique_ptr<Ui::TForm2> ui;
    QList<QPixmap> ImageList1;
    QTimer *Timer1;
    int frame_ = 0;
    bool closeRequested_ = false;
};

} // namespace vestor
