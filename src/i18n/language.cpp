// Language catalogue and string lookup.
