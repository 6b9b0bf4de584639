// Where the game keeps its files, after the XDG base directory rules: kept
// data (best times) in $XDG_DATA_HOME/vromdash, settings in
// $XDG_CONFIG_HOME/vromdash. A variable that is unset, empty or relative is
// ignored, as the rules say, and the folder under $HOME is used instead.
#pragma once

#include <string>

// $XDG_DATA_HOME/vromdash, else $HOME/.local/share/vromdash; "" when neither
// variable holds an absolute path.
std::string dataDirectory();
// $XDG_CONFIG_HOME/vromdash, else $HOME/.config/vromdash; "" likewise.
std::string configDirectory();
