#ifndef BRELO_ADDRESSCHECK_H
#define BRELO_ADDRESSCHECK_H

#include <QMetaType>
#include <QStringList>
#include <QVector>

#include "batch/addressplan.h"

// What a batch IP change told each device to take, by MAC, for a comparison with the next search.
struct AddressCheck
{
    QStringList macs;
    QStringList addresses;
    // False where the command could not be handed to the library.
    QVector<bool> sent;

    bool isEmpty() const { return macs.isEmpty(); }
};
Q_DECLARE_METATYPE(AddressCheck)

// The log lines of the comparison: one per device that did not take its address, then the summary.
// found holds the devices a search showed, in table order.
QStringList addressCheckReport(const AddressCheck &check, const QVector<DeviceAddress> &found);

#endif // BRELO_ADDRESSCHECK_H
