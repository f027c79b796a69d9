// The editor window as the shell sees it: open it into the host's window, destroy it.
// UI thread only.
#pragma once

class ChartPreview;

// Destroys an open editor first, then creates the editor as a child of `parent`.
// True when a window was created.
bool open_editor_window(ChartPreview* instance, void* parent);

// Destroys the instance's editor window if there is one.
void destroy_editor_window(ChartPreview* instance);
