#ifndef TELVAR_DEMOS_DATA_SAMPLETEXTS_H
#define TELVAR_DEMOS_DATA_SAMPLETEXTS_H

// Texts printed by several demonstration scripts.

// Rule between the sections of a printout: 33 full stops, one line of a
// 58 mm head in the normal font with room to spare.
constexpr char separatorLine[] = ".................................";

// The closing rule: the separator and two line breaks, so the last section
// clears the tear-off edge.
constexpr char separatorLineFeedTwice[] = ".................................\n\n";

#endif
