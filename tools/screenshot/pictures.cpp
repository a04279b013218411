#include "pictures.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>

#include "dialogs/batchmodifyalgodialog.h"
#include "dialogs/batchmodifyipdialog.h"
#include "widgets/myiplineedit.h"

namespace {

// Focus frames and the default button are only drawn in an active window, so wait for it to become one.
QPixmap showAndGrab(QWidget *window)
{
    window->show();
    QApplication::setActiveWindow(window);
    const QDeadlineTimer deadline(2000);
    while (!window->isActiveWindow() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QCoreApplication::processEvents();
    return window->grab();
}

} // namespace

QVector<Picture> allPictures()
{
    return {
        {QStringLiteral("ip-dialog"), &renderIpDialog},
        {QStringLiteral("algo-dialog"), &renderAlgoDialog},
    };
}

QPixmap renderIpDialog()
{
    BatchModifyIPDialog dialog;
    dialog.findChild<MyIpLineEdit *>(QStringLiteral("ip_lineEdit"))->setText(QStringLiteral("192.168.1.100"));
    dialog.findChild<QLineEdit *>(QStringLiteral("dns_lineEdit"))->setText(QStringLiteral("8.8.8.8;114.114.114.114"));
    return showAndGrab(&dialog);
}

QPixmap renderAlgoDialog()
{
    BatchModifyAlgoDialog dialog;
    dialog.findChild<QComboBox *>(QStringLiteral("algo_comboBox"))->setCurrentIndex(1);
    return showAndGrab(&dialog);
}
