// Resource ids of the player program (player.rc). Plain #defines: the resource compiler reads
// this file too.
#pragma once

// The main frame's icon (large and small) and its accelerator table.
#define IDR_MAINFRAME 128

// String table (language 1033).
#define IDS_TITLE 128            // the game's title: the first window caption
#define IDS_ERROR_CAPTION 130    // caption of the start-up error boxes
#define IDS_INIT_FAILED 131      // init.xml could not be loaded
#define IDS_HOST_FAILED 132      // the Flash host could not start
#define IDS_ALREADY_RUNNING 135  // another user runs the game
#define IDS_PROVIDER 136         // the maker's name (data folders, registry configuration)

// Accelerator commands.
#define ID_ALT_ENTER 0x8004
#define ID_CTRL_ENTER 0x8006
