// vt_screen
