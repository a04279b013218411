#ifndef BRELO_SCREENSHOT_PICTURES_H
#define BRELO_SCREENSHOT_PICTURES_H

#include <QPixmap>
#include <QString>
#include <QVector>

struct Picture
{
    QString name; // also the file name without ".png"
    QPixmap (*render)();
};

// Every picture the tool can take, in the order they are taken by default.
QVector<Picture> allPictures();

QPixmap renderMainWindow();
QPixmap renderHintsWindow();
QPixmap renderIpDialog();
QPixmap renderAlgoDialog();
QPixmap renderPlanDialog();

#endif // BRELO_SCREENSHOT_PICTURES_H
