#pragma once

namespace marvex {

// What one estimate found. An estimate may find nothing, a note without a pitch, or a pitch
// in bin 0 (which never wins by votes, so it comes without a note and without a lower band
// edge); a value whose flag is false was not produced, and whoever shows the results keeps
// the value it showed before.
struct PitchResult {
    // A bin above 0 won the vote: note is set.
    bool hasNote = false;
    // The winning bin's lobes gave a positive mean period: frequencyHz, centralHz, upperHz and
    // deviation are set, and lowerHz too if hasNote (bin 0 has no lower neighbour; its band
    // below the centre counts as 1 Hz wide in the deviation).
    bool hasPitch = false;
    int note = 0;  // tone-grid bin; 48 is the reference pitch
    float frequencyHz = 0.0f;
    float lowerHz = 0.0f;    // lower edge of the note's band
    float centralHz = 0.0f;  // the note's centre
    float upperHz = 0.0f;    // upper edge of the note's band
    // -1 at the lower edge, 0 at the centre, +1 at the upper edge; not clamped.
    float deviation = 0.0f;
};

}  // namespace marvex
