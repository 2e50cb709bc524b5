#include "MainForm.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

// The pictures of the console page, drawn in code so the page needs no resource files.

namespace vexa::gl {

namespace {

QPixmap Canvas()
{
    QPixmap pm(18, 18);
    pm.fill(Qt::transparent);
    return pm;
}

QIcon FolderIcon(bool open)
{
    QPixmap pm = Canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0xa0, 0x78, 0x10));
    p.setBrush(QColor(0xf0, 0xc8, 0x50));
    p.drawRect(QRectF(1.5, 3.5, 6, 3));
    if (open) {
        p.drawRect(QRectF(1.5, 5.5, 13, 10));
        p.setBrush(QColor(0xfb, 0xe3, 0x8e));
        QPainterPath front;
        front.moveTo(4.5, 8.5);
        front.lineTo(17.0, 8.5);
        front.lineTo(14.5, 15.5);
        front.lineTo(1.5, 15.5);
        front.closeSubpath();
        p.drawPath(front);
    } else {
        p.drawRect(QRectF(1.5, 5.5, 15, 10));
    }
    return QIcon(pm);
}

// A module: a page with a coloured band; "D" modules (document entry) are marked with
// the letter; a module the user may not run is grey with a red bar.
QIcon ModuleIcon(bool permitted, bool dType)
{
    QPixmap pm = Canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor band = permitted ? (dType ? QColor(0x2e, 0x7d, 0x32) : QColor(0x1e, 0x5a, 0xb4))
                                  : QColor(0x9a, 0x9a, 0x9a);
    p.setPen(permitted ? band.darker(130) : QColor(0x80, 0x80, 0x80));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 1.5, 13, 15));
    p.fillRect(QRectF(3, 2, 12, 4), band);
    if (dType) {
        QFont f = p.font();
        f.setPixelSize(10);
        f.setBold(true);
        p.setFont(f);
        p.setPen(band);
        p.drawText(QRectF(3, 6, 12, 10), Qt::AlignCenter, QStringLiteral("D"));
    } else {
        p.setPen(band);
        for (int y : {8, 11, 14})
            p.drawLine(QPointF(5, y + 0.5), QPointF(13, y + 0.5));
    }
    if (!permitted) {
        p.setPen(QPen(QColor(0xd0, 0x20, 0x20), 2));
        p.drawLine(QPointF(3, 16), QPointF(16, 3));
    }
    return QIcon(pm);
}

// The console itself: a screen with a stand.
QIcon ConsoleIcon()
{
    QPixmap pm = Canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x20, 0x40, 0x70));
    p.setBrush(QColor(0x5b, 0x9b, 0xe0));
    p.drawRoundedRect(QRectF(1.5, 2.5, 15, 10), 1.5, 1.5);
    p.fillRect(QRectF(7, 13, 4, 2), QColor(0x20, 0x40, 0x70));
    p.fillRect(QRectF(4, 15, 10, 2), QColor(0x20, 0x40, 0x70));
    p.setPen(Qt::white);
    p.drawLine(QPointF(4, 6.5), QPointF(10, 6.5));
    p.drawLine(QPointF(4, 9.5), QPointF(13, 9.5));
    return QIcon(pm);
}

} // namespace

const QList<QIcon> &ConsoleImages()
{
    static const QList<QIcon> images{
        FolderIcon(false),      FolderIcon(true),         ModuleIcon(true, false),
        ModuleIcon(true, true), ModuleIcon(false, false), ModuleIcon(false, true),
        ConsoleIcon()};
    return images;
}

// Sky, a rising bar chart and the product name.
QPixmap DefaultFacePicture()
{
    QPixmap pm(640, 480);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 480);
    sky.setColorAt(0, QColor(0x1d, 0x4e, 0x89));
    sky.setColorAt(1, QColor(0x8e, 0xc5, 0xfc));
    p.fillRect(pm.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    for (int i = 0; i < 6; ++i)
        p.drawRect(QRectF(60 + i * 90, 360 - i * 40, 60, 120 + i * 40));
    QFont f = p.font();
    f.setPixelSize(64);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 90, 640, 90), Qt::AlignCenter, QStringLiteral("Vexa"));
    f.setPixelSize(30);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRectF(0, 180, 640, 50), Qt::AlignCenter, QStringLiteral("总账管理系统"));
    return pm;
}

} // namespace vexa::gl
