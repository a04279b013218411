#ifndef BRELO_TABLEROWS_H
#define BRELO_TABLEROWS_H

class QTableView;

// Lays the table out for a row just appended at its bottom, and repaints no more of it than that
// row where it is visible. The view's own deferred layout repaints every visible row for each row
// added, even one below the visible part, which a steady stream of devices pays for all along.
void layOutAppendedRow(QTableView *table, int row);

#endif // BRELO_TABLEROWS_H
