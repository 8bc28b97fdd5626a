#pragma once
// The play order: which entry comes after a finished track, and which the next and
// previous commands select. Plain rules over the selected index, the list's size and
// the play modes, kept apart from the widgets that hold them.
#include <functional>
#include <random>

// What the window reads before it asks.
struct PlayOrderState {
    int index = -1;     // the selected entry, -1 for none
    int count = 0;      // the entries in the list
    int repeatMode = 0; // 0 off, 1 the song, 2 the list
    bool shuffled = false;
};

// The answer: what to do with the selection.
struct PlayStep {
    enum Move {
        Select, // select index (-1: nothing), then play
        Keep,   // leave the selection as it is, then play
        End,    // playback is over: play nothing
    };
    Move move = Keep;
    int index = -1;
};

// Draws an entry from 0 to count - 1 (count > 0), each equally likely. The rules take a
// drawer rather than a drawn value because only they know whether a pick is due: the
// generator is then drawn from exactly where a shuffle pick is made, and its sequence
// from a seed stays the same.
using DrawEntry = std::function<int(int count)>;
int UniformEntry(std::mt19937 &random, int count);

// The end of a track: after the last entry only a repeat goes on; repeat the song wins
// over shuffle; repeat the list goes from the last entry to the first.
PlayStep AfterTrackEnds(const PlayOrderState &state, const DrawEntry &draw);
// Next and previous read shuffle only and never wrap, in any repeat mode: at the end of
// the list they would move past, or with nothing to move to, they keep the selection.
PlayStep NextEntry(const PlayOrderState &state, const DrawEntry &draw);
PlayStep PreviousEntry(const PlayOrderState &state, const DrawEntry &draw);

using PlayOrderRule = PlayStep (*)(const PlayOrderState &, const DrawEntry &);
