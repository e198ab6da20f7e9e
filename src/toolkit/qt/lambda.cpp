#include "toolkit/qt/lambda.h"

namespace ktk::qt {

QMetaObject::Connection connect(const QObject* sender, const char* signal, const lambda* l)
{
    return QObject::connect(sender, signal, l, SLOT(call()));
}

} // namespace ktk::qt
