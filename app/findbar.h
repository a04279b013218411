#ifndef BRELO_FINDBAR_H
#define BRELO_FINDBAR_H

#include <QFrame>

class DeviceTableWidget;

namespace Ui {
class FindBar;
}

// A small bar over the top edge of the device table: what is typed there, and the choice of marked
// rows only, decide which rows the table shows. Closing it shows every row again.
class FindBar : public QFrame
{
    Q_OBJECT

public:
    explicit FindBar(DeviceTableWidget *table);
    ~FindBar() override;

    // Shows the bar with its text selected for typing over, and filters by it again.
    void open();
    void dismiss();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void filter();
    void showCount();
    void place();

    Ui::FindBar *ui;
    DeviceTableWidget *m_table;
};

#endif // BRELO_FINDBAR_H
