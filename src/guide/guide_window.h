// The guide window: channel name and the description of the programme on air.
#pragma once

// Fills, shows and places the guide; from the menu also runs the event loop until its button.
void OpenGuide(bool from_menu);
int EPGOK(int panel, int control, int event, void* callback_data, int data1, int data2);
