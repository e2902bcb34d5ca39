# Installation rules for velmora, its interface and its desktop entry.
