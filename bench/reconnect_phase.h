// The reconnect rows against a private ngircd that is stopped and started again: for one door, the
// time from the server being reachable again until the caller sees the channel, beside the wait
// the door announced; for a fleet of doors on one server, the time until every caller is back in
// the channel.
#pragma once

#include <vector>

#include "table.h"

namespace bench {

// single: the one-door row; fleet_size 0: no fleet.
void MeasureReconnect(bool single, int fleet_size, std::vector<Row>& rows);

}  // namespace bench
