/* Pacing of reordered (B-frame) pictures against the same stream without
 * them, played at normal speed with their time stamps. */
#ifndef KOVA_BENCH_STDDEC_PACED_PLAY_H
#define KOVA_BENCH_STDDEC_PACED_PLAY_H

/* Prints a table: pictures shown, pacing error and CPU per picture of each
 * stream, and the B-frame stream's ratios to the baseline. */
void ComparePacing(int rounds, int seconds);

#endif
