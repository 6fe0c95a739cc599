// The settings dialog, the About box and the font button.
#pragma once

void OpenSettingsDialog();
void OpenAboutBox();
int OK(int panel, int control, int event, void* callback_data, int data1, int data2);
int FONT(int panel, int control, int event, void* callback_data, int data1, int data2);
int SAVE(int panel, int control, int event, void* callback_data, int data1, int data2);
