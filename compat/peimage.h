#ifndef BRELO_PEIMAGE_H
#define BRELO_PEIMAGE_H

#include <QByteArray>
#include <QStringList>

// What the Windows loader reads of a PE file (an .exe or a .dll), from the file's bytes. Bytes that
// are no PE image, or tables that reach outside them, give 0 or an empty list.

// 32 for an x86 image, 64 for an x64 one, 0 for anything else.
int peImageBits(const QByteArray &image);

// The DLL names of the import table, as written there. Delayed imports are left out: the loader does
// not need them to load the image.
QStringList peImageImports(const QByteArray &image);

// The names the export table lists.
QStringList peImageExports(const QByteArray &image);

#endif // BRELO_PEIMAGE_H
