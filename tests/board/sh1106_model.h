#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct avr_t;
struct avr_irq_t;

namespace pixelcast::test {

// An SH1106 display controller on a simulated board's I2C or SPI bus, as its datasheet describes it
// to a sketch that writes to it: 132 columns by 8 pages of memory, written at a page address
// (0xB0-0xB7) and a column address (lower and higher four bits, 0x00-0x0F and 0x10-0x1F) that
// moves on by one column with each data byte and never to the next page; no other way of
// addressing. A panel of 128 columns shows memory columns 2 to 129. The model notes what a
// real chip would not take: commands it does not know (such as an SSD1306's addressing
// commands) and data written outside the columns the panel shows.
class Sh1106Model {
public:
    static constexpr int kColumns = 132;
    static constexpr int kPages = 8;
    static constexpr int kFirstVisibleColumn = 2;
    static constexpr int kVisibleColumns = 128;

    // Answers on the board's I2C bus at the 7-bit `address`; the memory starts with noise, as
    // a real panel's does after power-on.
    Sh1106Model(avr_t* avr, unsigned address);
    // Listens on the board's SPI bus, with chip select on pin 10 (PB2), data/command on pin 9
    // (PB1) and reset on pin 8 (PB0).
    explicit Sh1106Model(avr_t* avr);

    [[nodiscard]] std::uint8_t memory(int page, int column) const;
    [[nodiscard]] bool isOn() const { return m_on; }
    // Data bytes written to a column the panel does not show, or past the last column.
    [[nodiscard]] std::uint64_t writesOutsideVisibleColumns() const { return m_outsideWrites; }
    [[nodiscard]] const std::vector<std::uint8_t>& unknownCommands() const
    {
        return m_unknownCommands;
    }

private:
    void fillWithNoise();
    static void onBus(avr_irq_t* irq, std::uint32_t value, void* param);
    static void onSpiByte(avr_irq_t* irq, std::uint32_t value, void* param);
    static void onChipSelect(avr_irq_t* irq, std::uint32_t value, void* param);
    static void onDataCommand(avr_irq_t* irq, std::uint32_t value, void* param);
    static void onReset(avr_irq_t* irq, std::uint32_t value, void* param);
    void onCommand(std::uint8_t byte);
    void onData(std::uint8_t byte);

    avr_irq_t* m_busInput = nullptr;
    unsigned m_address = 0;
    std::array<std::array<std::uint8_t, kColumns>, kPages> m_memory{};

    bool m_selected = false; // on I2C by its address, on SPI by chip select low
    bool m_controlByteDue = false;
    bool m_lastControlByte = false; // Co = 0: the rest of the transaction follows it
    bool m_data = false;            // D/C# of the bytes that follow the control byte
    std::uint8_t m_argumentFor = 0; // a command that waits for its second byte, or 0

    int m_page = 0;
    int m_column = 0;
    bool m_on = false;
    std::uint64_t m_outsideWrites = 0;
    std::vector<std::uint8_t> m_unknownCommands;
};

} // namespace pixelcast::test
