#include "searchrounds.h"

void SearchRounds::begin(quint64 dropTotal, int listed)
{
    current = 1;
    roundStartDrops = dropTotal;
    roundStartListed = listed;
    firstRoundDrops = 0;
    lost = 0;
    repeats = 0;
    previousAdded = true;
}

SearchRounds::Next SearchRounds::endRound(quint64 dropTotal, int listed)
{
    // The total only grows; a smaller one would be another endpoint's, and is read as no drop.
    const quint64 dropped = dropTotal > roundStartDrops ? dropTotal - roundStartDrops : 0;
    const bool added = listed > roundStartListed;
    if (current == 1)
        firstRoundDrops = dropped;
    // A repeat that still adds modules shows replies going missing, some perhaps where nobody counts them (on
    // the wire): only a round that adds nothing ends the search.
    const bool complete = dropped == 0 && (current == 1 || !added);
    if (complete || current >= MostRounds) {
        // Modules that went missing in a round would show up in the next, sooner or later: two repeats in a row
        // that found nothing new, with modules listed, dropped what was heard before.
        const bool onlyRepeats = dropped > 0 && current >= 3 && !added && !previousAdded && listed > 0;
        lost = onlyRepeats ? 0 : dropped;
        repeats = onlyRepeats ? dropped : 0;
        return Next::Done;
    }
    previousAdded = current == 1 || added;
    ++current;
    roundStartDrops = dropTotal;
    roundStartListed = listed;
    return Next::AskAgain;
}
