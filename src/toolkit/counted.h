#pragma once

#include <QString>

// "1 photo" or "25 photos": `many` holds %1 for the number. Texts come out as
// written, without a translator, so the plural is chosen here.
inline QString counted(qint64 n, const QString& one, const QString& many)
{
    return n == 1 ? one : many.arg(n);
}
