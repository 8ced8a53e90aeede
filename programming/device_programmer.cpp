#include "programming/device_programmer.h"

#include "programming/programming_window.h"

struct DeviceProgrammer::Private
{
    bool withClock = false;
};

DeviceProgrammer::DeviceProgrammer(ProgrammingWindow &window, bool withClock, QObject *parent)
    : QObject(parent), d(new Private), m_window(window)
{
    d->withClock = withClock;
}

DeviceProgrammer::~DeviceProgrammer()
{
    delete d;
}

void DeviceProgrammer::Form_Load() {}
void DeviceProgrammer::Form_QueryUnload() {}
void DeviceProgrammer::Odswiez_Timer_Timer() {}
void DeviceProgrammer::PrzeslijRAM_Command_Click() {}
void DeviceProgrammer::PrzeslijEEPROM_Command_Click() {}
void DeviceProgrammer::CzyscEkran_Command_Click() {}
void DeviceProgrammer::KrotkiSygnalDzwiek_Command_Click() {}
void DeviceProgrammer::DlugiDzwiek_Command_Click() {}
void DeviceProgrammer::PrzeslijZegar_Command_Click() {}
void DeviceProgrammer::Czekaj(Clock::time_point) {}

bool DeviceProgrammer::SprawdzOdpowiedz()
{
    return false;
}

bool DeviceProgrammer::isConnected() const
{
    return false;
}

bool DeviceProgrammer::isUploading() const
{
    return false;
}
