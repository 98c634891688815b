// Per-row work of one picture split over the processor's cores: bands of rows done at the same
// time, the calling thread doing one of them. For kernels whose rows are independent (each row
// written by one band only, everything else only read), so the result is the same bytes as one
// pass from the top down.
#pragma once
#include <cstdint>

typedef void (*RowBandFunc)(void *user, int32_t firstRow, int32_t endRow);

// Calls work(user, first, end) for bands that cover rows [0, rows) once, each at least minRows
// rows (one band below twice that), at most four at a time; returns when all are done. A band
// whose thread cannot be started is done by the calling thread.
void RunRowBands(int32_t rows, int32_t minRows, RowBandFunc work, void *user);
