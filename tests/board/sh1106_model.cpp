#include "tests/board/sh1106_model.h"

extern "C" {
#include <avr_ioport.h>
#include <avr_spi.h>
#include <avr_twi.h>
#include <sim_avr.h>
#include <sim_io.h>
#include <sim_irq.h>
}

#include <algorithm>
#include <initializer_list>

namespace pixelcast::test {

namespace {

// The SH1106's commands of two bytes, the second an argument: contrast, multiplex ratio,
// DC-DC control, display offset, clock, pre-charge period, COM pins, VCOM deselect level.
bool takesArgument(std::uint8_t command)
{
    const std::initializer_list<std::uint8_t> commands = {0x81, 0xA8, 0xAD, 0xD3,
                                                          0xD5, 0xD9, 0xDA, 0xDB};
    return std::find(commands.begin(), commands.end(), command) != commands.end();
}

// The SH1106's commands of one byte besides the addresses: pump voltage, start line, segment
// remap, entire display on, inversion, display off/on, COM scan direction, read-modify-write,
// end and no-op.
bool isSingleByteCommand(std::uint8_t command)
{
    return (command >= 0x30 && command <= 0x33) || (command >= 0x40 && command <= 0x7F) ||
           command == 0xA0 || command == 0xA1 || command == 0xA4 || command == 0xA5 ||
           command == 0xA6 || command == 0xA7 || command == 0xAE || command == 0xAF ||
           command == 0xC0 || command == 0xC8 || command == 0xE0 || command == 0xEE ||
           command == 0xE3;
}

} // namespace

Sh1106Model::Sh1106Model(avr_t* avr, unsigned address)
    : m_busInput(avr_io_getirq(avr, AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_INPUT)), m_address(address)
{
    fillWithNoise();
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_OUTPUT),
                            &Sh1106Model::onBus, this);
}

Sh1106Model::Sh1106Model(avr_t* avr)
{
    fillWithNoise();
    // On SPI the D/C# pin, not a control byte, says what each byte is.
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_SPI_GETIRQ(0), SPI_IRQ_OUTPUT),
                            &Sh1106Model::onSpiByte, this);
    avr_irq_t* const portB = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('B'), 0);
    avr_irq_register_notify(portB + 2, &Sh1106Model::onChipSelect, this);
    avr_irq_register_notify(portB + 1, &Sh1106Model::onDataCommand, this);
    avr_irq_register_notify(portB + 0, &Sh1106Model::onReset, this);
}

void Sh1106Model::fillWithNoise()
{
    std::uint32_t noise = 0x9E3779B9;
    for (auto& page : m_memory) {
        for (auto& b : page) {
            noise = noise * 1664525U + 1013904223U;
            b = static_cast<std::uint8_t>(noise >> 24);
        }
    }
}

void Sh1106Model::onSpiByte(avr_irq_t* /*irq*/, std::uint32_t value, void* param)
{
    Sh1106Model& d = *static_cast<Sh1106Model*>(param);
    if (!d.m_selected) {
        return;
    }
    const auto byte = static_cast<std::uint8_t>(value);
    if (d.m_data) {
        d.onData(byte);
    } else {
        d.onCommand(byte);
    }
}

void Sh1106Model::onChipSelect(avr_irq_t* /*irq*/, std::uint32_t value, void* param)
{
    static_cast<Sh1106Model*>(param)->m_selected = value == 0;
}

void Sh1106Model::onDataCommand(avr_irq_t* /*irq*/, std::uint32_t value, void* param)
{
    static_cast<Sh1106Model*>(param)->m_data = value != 0;
}

// A reset (RES# low) leaves the memory as it is and everything else as at power-on.
void Sh1106Model::onReset(avr_irq_t* /*irq*/, std::uint32_t value, void* param)
{
    if (value == 0) {
        Sh1106Model& d = *static_cast<Sh1106Model*>(param);
        d.m_page = 0;
        d.m_column = 0;
        d.m_on = false;
        d.m_argumentFor = 0;
    }
}

std::uint8_t Sh1106Model::memory(int page, int column) const
{
    return m_memory.at(static_cast<std::size_t>(page)).at(static_cast<std::size_t>(column));
}

void Sh1106Model::onBus(avr_irq_t* /*irq*/, std::uint32_t value, void* param)
{
    Sh1106Model& d = *static_cast<Sh1106Model*>(param);
    avr_twi_msg_irq_t message{};
    message.u.v = value;
    const unsigned condition = message.u.twi.msg;
    const auto address = static_cast<std::uint8_t>(message.u.twi.addr);
    if ((condition & TWI_COND_STOP) != 0) {
        d.m_selected = false;
    }
    if ((condition & TWI_COND_START) != 0) {
        d.m_selected = (address >> 1U) == d.m_address;
        d.m_controlByteDue = true;
        if (d.m_selected) {
            avr_raise_irq(d.m_busInput, avr_twi_irq_msg(TWI_COND_ACK, address, 1));
        }
    }
    if (!d.m_selected || (condition & TWI_COND_WRITE) == 0) {
        return;
    }
    avr_raise_irq(d.m_busInput, avr_twi_irq_msg(TWI_COND_ACK, address, 1));
    const auto byte = static_cast<std::uint8_t>(message.u.twi.data);
    if (d.m_controlByteDue) {
        d.m_lastControlByte = (byte & 0x80U) == 0;
        d.m_data = (byte & 0x40U) != 0;
        d.m_controlByteDue = false;
        return;
    }
    if (d.m_data) {
        d.onData(byte);
    } else {
        d.onCommand(byte);
    }
    // With Co = 1 each byte has a control byte of its own.
    d.m_controlByteDue = !d.m_lastControlByte;
}

void Sh1106Model::onCommand(std::uint8_t byte)
{
    if (m_argumentFor != 0) {
        m_argumentFor = 0;
        return;
    }
    if (byte <= 0x0F) {
        m_column = (m_column & 0xF0) | byte;
    } else if (byte <= 0x1F) {
        m_column = (m_column & 0x0F) | ((byte & 0x0F) << 4);
    } else if (byte >= 0xB0 && byte <= 0xB7) {
        m_page = byte & 0x07;
    } else if (takesArgument(byte)) {
        m_argumentFor = byte;
    } else if (byte == 0xAE || byte == 0xAF) {
        m_on = byte == 0xAF;
    } else if (!isSingleByteCommand(byte)) {
        m_unknownCommands.push_back(byte);
    }
}

void Sh1106Model::onData(std::uint8_t byte)
{
    if (m_column < kFirstVisibleColumn || m_column >= kFirstVisibleColumn + kVisibleColumns) {
        ++m_outsideWrites;
    }
    if (m_column < kColumns) {
        m_memory[static_cast<std::size_t>(m_page)][static_cast<std::size_t>(m_column)] = byte;
        ++m_column;
    }
}

} // namespace pixelcast::test
