#pragma once

class QWidget;

// Shows a window that is hidden in the tray or minimised, and brings it in
// front of the others.
void bringToFront(QWidget *window);
