// Keeps the common test library non-empty.
