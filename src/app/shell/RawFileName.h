#pragma once
// File names as the system keeps them: bytes, UTF-8 as a rule but not always
// (a name copied from an old archive or another system). A QString made from
// such bytes by Qt loses every byte that is not UTF-8, and the name no longer
// leads to its file. Here each such byte is kept as one code unit of its own,
// U+DC80 to U+DCFF (a lone low surrogate, which valid text never holds), so
// the name goes back to exactly its bytes for opening and for output.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace tabulory {

// The name for `bytes`: valid UTF-8 decoded, every other byte kept as
// U+DC00 + byte.
QString FileNameFromBytes(QByteArrayView bytes);

// The bytes of `name`: text as UTF-8, each kept byte (U+DC80..U+DCFF on its
// own) as itself. FileNameBytes(FileNameFromBytes(b)) == b for every b.
QByteArray FileNameBytes(QStringView name);

// True when `name` holds a byte that is not UTF-8.
bool HoldsRawBytes(QStringView name);

}  // namespace tabulory
