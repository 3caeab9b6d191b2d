#!/usr/bin/env bash
# Runs a test program on its own virtual display. A bare X server without a window manager has never
# heard of the window-manager atoms that JUCE looks up only if they exist (WM_PROTOCOLS and friends),
# and JUCE then sends atom 0 when it makes a dialog window; naming them once, as any window manager
# would, gives the tests the display a user has. -noreset keeps them after that client leaves.
set -u
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp -noreset" bash -c '
    for atom in WM_PROTOCOLS WM_TAKE_FOCUS WM_DELETE_WINDOW _NET_WM_PING WM_CHANGE_STATE WM_STATE \
                _NET_WM_WINDOW_TYPE _NET_WM_WINDOW_TYPE_NORMAL _NET_WM_STATE _NET_WM_STATE_HIDDEN; do
        xprop -root -f "$atom" 8s -set "$atom" x && xprop -root -remove "$atom"
    done
    exec "$@"' run_with_display "$@"
