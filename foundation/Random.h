// The random stream, one per thread (the main thread's is the run's): a 32-bit
// linear congruential generator (state * 214013 + 2531011, 15-bit results
// 0 .. 32767), implemented here so a fixed seed reproduces an image on every
// platform. The driver seeds the main thread's once; worker threads seed
// theirs per work unit (foundation/Parallel.h).
#pragma once

#include <cstdint>

const int randomMax = 32767;
const double twoPi = 6.283185307179586;

void seedRandom(uint32_t seed);
// The calling thread's stream state: seedRandom(randomStreamState()) resumes the
// stream where it was (a Markov chain that moves between threads keeps its
// stream this way).
uint32_t randomStreamState();
// Next value in 0 .. 32767.
int nextRandom();
// Uniform in 0 .. n - 1 for n >= 1, without the bias of nextRandom() % n:
// draws that fall in the incomplete last block of n values are drawn again
// (two draws make one 30-bit value when n exceeds 32768).
int uniformIndex(int n);
// Two draws make a 30-bit uniform in [0, 1): for tests against small
// probabilities (roulettes, acceptance), where uniform01's steps of 1/32767
// would pass anything positive at least once in 32768 draws.
double fineUniform01();
// rand() * (single-precision 1/32767): uniform in [0, 1], both ends included.
inline float uniform01() { return (float)nextRandom() * 3.0518509e-5f; }
