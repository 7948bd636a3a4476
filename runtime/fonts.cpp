// Placeholder until the font list exists.
void build_default_font_list() {}
