#include "player/PlayOrder.h"

int UniformEntry(std::mt19937 &random, int count)
{
    return std::uniform_int_distribution<int>(0, count - 1)(random);
}

PlayStep AfterTrackEnds(const PlayOrderState &s, const DrawEntry &draw)
{
    const bool repeats = s.repeatMode == 1 || s.repeatMode == 2;
    if (s.index >= s.count - 1 && !(s.index == s.count - 1 && repeats))
        return {PlayStep::End};
    if (s.repeatMode == 1)
        return {PlayStep::Keep};
    if (s.count <= 0) // the folder went empty while the track played
        return {PlayStep::Select, -1};
    if (s.shuffled) // any entry, the finished one included
        return {PlayStep::Select, draw(s.count)};
    return {PlayStep::Select, s.index == s.count - 1 ? 0 : s.index + 1};
}

PlayStep NextEntry(const PlayOrderState &s, const DrawEntry &draw)
{
    if (s.index >= s.count - 1)
        return {PlayStep::Keep};
    return {PlayStep::Select, s.shuffled ? draw(s.count) : s.index + 1};
}

PlayStep PreviousEntry(const PlayOrderState &s, const DrawEntry &draw)
{
    if (s.index <= 0)
        return {PlayStep::Keep};
    return {PlayStep::Select, s.shuffled ? draw(s.count) : s.index - 1};
}
