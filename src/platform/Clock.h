#pragma once

#include <QDateTime>
#include <QtGlobal>

namespace pelmora {

// The current local date and time; tests put a fixed clock in its place.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// Without TZ the C library looks at /etc/localtime again on every local-time
// conversion, a dozen file checks for each file a run reads. Naming that
// same zone file once, before anything converts a time, spares them; the
// worker processes inherit it.
inline void settleLocalTimeZone()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

} // namespace pelmora
