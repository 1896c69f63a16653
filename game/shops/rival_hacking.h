// Hacking other players' boards: the list of rivals found in data/, the
// attempt, and the write-back of a won hack into the rival's own file.
#pragma once

#include "game/rules/storage.h"

#include <cstdint>

// What a won hack took from a rival.
struct rival_take {
    std::int64_t cash;
    std::int32_t warez;
    bool written;  // the rival's file now holds the loss
};

// Takes the stake of a won hack out of the rival's file: under the file's
// lock it is read again and the hack applied to what it holds now (the
// rival's own game may have saved since the scan), then replaced whole. The
// take is what the file really lost; a file that vanished, no longer reads
// as a board or cannot be written gives nothing and is left alone.
rival_take rob_rival_file(const rival& r);

// The rival list screen; returns to the underground.
void rival_underground();
