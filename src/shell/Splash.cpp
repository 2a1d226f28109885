#include "shell/Splash.h"

#include "shell/Forms.h"
#include "ui_Splash.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>

namespace vestor {

namespace {
const QColor kPictureEdge(0x31, 0x0e, 0x0e); // the splash picture's bottom edge
} // namespace

TForm2::TForm2(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui(std::make_unique<Ui::TForm2>()), Timer1(new QTimer(this))
{
    vestor::loadPictures();
    ui->setupUi(this);
    setFont(vestor::formFont());
    setFixedSize(size()); // as designed
    move(232, 275);
    ImageList1 = vestor::emblemFrames();
    // The bar's groove takes the picture's dark edge, so only the part read stands out.
    QPalette bar = ui->ProgressBar1->palette();
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Window})
        bar.setColor(role, kPictureEdge);
    ui->ProgressBar1->setPalette(bar);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(vestor::kEmblemInterval);
    connect(Timer1, &QTimer::timeout, this, &TForm2::Timer1Timer);
    FormCreate();
}

TForm2::~TForm2() = default;

void TForm2::FormCreate()
{
    frame_ = 0;
    Timer1->start();
}

void TForm2::Timer1Timer()
{
    const int frame = vestor::emblemTick(frame_);
    if (frame >= 0)
        ui->Image2->setPixmap(ImageList1.value(frame));
}

void TForm2::showLoadProgress(qint64 bytesRead, qint64 bytesTotal)
{
    QProgressBar *bar = ui->ProgressBar1;
    const qint64 steps = bar->maximum();
    bar->setValue(bytesTotal > 0 ? int(std::clamp(bytesRead, qint64(0), bytesTotal) * steps / bytesTotal) : 0);
    bar->show();
}

void TForm2::closeEvent(QCloseEvent *event)
{
    // The splash stays its full time; the request ends the program after start-up.
    closeRequested_ = true;
    event->ignore();
}

void TForm2::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    emit hidden();
}

} // namespace vestor
