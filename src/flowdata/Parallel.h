#pragma once

#include <cstddef>
#include <functional>

// How many threads the data set's bulk passes use: the machine's cores, at most four.
unsigned workerCount();

// Runs task(worker, index) once for every index below count, spread over
// up to workerCount() threads; worker < workerCount() tells the task which
// per-thread scratch to use. Runs on the calling thread alone when count < 2
// or no thread can be started. The first exception a task throws stops the
// pass and is rethrown here once every thread has stopped.
void parallelFor(std::size_t count, const std::function<void(unsigned worker, std::size_t index)>& task);
