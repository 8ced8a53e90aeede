#pragma once

// The numbered messages of the program, in an information box ("Informacja")
// or a warning box ("Ostrzeżenie", with the stop icon), each with a single OK
// button and application-modal. Both return when the user has closed the box.

void PokazInformacje(int NumerKomunikatu);
void PokazOstrzezenie(int NumerKomunikatu);
