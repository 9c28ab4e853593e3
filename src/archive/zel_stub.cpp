// Placeholder until the archive library lands.
extern "C" int ZelPlaceholder() { return 0; }
