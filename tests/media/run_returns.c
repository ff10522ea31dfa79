void tolvane_media_run(void) { }
