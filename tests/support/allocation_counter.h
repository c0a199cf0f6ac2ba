#ifndef TARN_TESTS_SUPPORT_ALLOCATION_COUNTER_H
#define TARN_TESTS_SUPPORT_ALLOCATION_COUNTER_H

// A program that links allocation_counter.cpp replaces the global operator
// new with one that counts, so a test or benchmark can show that a piece of
// code allocates nothing, or how much.

namespace Tarn::Test {

// Number of operator new calls so far in this program.
long allocationCount();
// Bytes those calls asked for, freed or not.
unsigned long long allocatedBytes();

}  // namespace Tarn::Test

#endif
