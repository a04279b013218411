#include "app/mainwindow.h"

void MainWindow::on_batch_modify_algo_btn_clicked() { }
