/* KovaDecoder: the playback speed steps KOVA_SetSpeed takes, and how each
 * stretches or shortens the time between two pictures. Header only: the
 * library paces by this table, and a client that feeds a recording at the
 * chosen speed or shows the speed reads the same one. */
#ifndef KOVA_SPEED_H
#define KOVA_SPEED_H

enum {
    KOVA_SPEED_QUARTER = 1,
    KOVA_SPEED_HALF = 2,
    KOVA_SPEED_NORMAL = 3,
    KOVA_SPEED_DOUBLE = 4,
    KOVA_SPEED_QUADRUPLE = 5,

    KOVA_SPEED_SLOWEST = KOVA_SPEED_QUARTER,
    KOVA_SPEED_FASTEST = KOVA_SPEED_QUADRUPLE
};

/* The factor on the wait between two pictures at a speed step: 4 at a
 * quarter of normal speed, 2 at half, 1 at normal, 0.5 at double, 0.25 at
 * quadruple. Any other value paces as normal. */
static inline double KovaSpeedFactor(int speed)
{
    switch (speed) {
    case KOVA_SPEED_QUARTER: return 4.0;
    case KOVA_SPEED_HALF: return 2.0;
    case KOVA_SPEED_DOUBLE: return 0.5;
    case KOVA_SPEED_QUADRUPLE: return 0.25;
    default: return 1.0;
    }
}

#endif
