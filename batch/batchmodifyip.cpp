#include "app/mainwindow.h"

void MainWindow::on_batch_modify_ip_btn_clicked() { }
