// The guide window: channel name and the description of the programme on air.
#pragma once

void OpenGuide(bool from_menu);  // fill and place; from the menu also run the event loop
int EPGOK(int panel, int control, int event, void* callback_data, int data1, int data2);
