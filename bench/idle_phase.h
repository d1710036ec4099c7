// The idle rows in one measuring window against one private ngircd: one plain and one TLS door
// beside each other (CPU, wake-ups, memory), and fleets of plain and TLS doors at BBS scale (start
// until all joined, CPU and wake-ups of all, memory per door, one channel line reaching all).
#pragma once

#include <vector>

#include "bench_setup.h"
#include "table.h"

namespace bench {

struct IdleOptions {
  int seconds = 30;      // the measuring window
  bool single = true;    // the one-door rows
  bool tls = true;       // the TLS door and fleet beside the plain ones
  int fleet_size = 250;  // 0: no fleets
};

void MeasureIdlePhase(const IdleOptions& options, PlainFigures& plain, std::vector<Row>& rows);

}  // namespace bench
