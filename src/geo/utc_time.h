#pragma once

#include <QStringView>

#include <string_view>

// Instants as track files write them, "2019-05-01T10:00:00[.f...](Z|+hh:mm)",
// or in any other form QDateTime reads as an ISO date (one without a zone in
// the computer's zone), in milliseconds since the epoch; gps_data::no_time
// when unreadable. Digits past the milliseconds are dropped.
qint64 parse_utc_time(QStringView text);
qint64 parse_utc_time(std::string_view utf8);
