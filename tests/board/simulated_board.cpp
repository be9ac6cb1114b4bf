#include "tests/board/simulated_board.h"

#include "tests/board/sh1106_model.h"

// simavr is C; its part headers do not declare their functions extern "C" themselves.
extern "C" {
#include <avr_ioport.h>
#include <avr_spi.h>
#include <avr_twi.h>
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_io.h>
#include <sim_irq.h>
#include <ssd1306_virt.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <initializer_list>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace pixelcast::test {

namespace {

constexpr std::uint32_t kClockHz = 16'000'000;
constexpr avr_cycle_count_t kCyclesPerMicrosecond = kClockHz / 1'000'000;

// Pace of the line before the firmware has set its UART up. A real 9600-baud 8N1 byte
// takes 1042 us, but the simulated UART counts 11 bit times per byte at the 9615 baud the
// Arduino core sets, 1144 us, and drops whatever arrives while its 63-byte queue is full.
// Feeding one byte every 1150 us keeps that queue at most one byte deep, as a real line
// would keep the hardware's. Once the firmware has set a rate, the line follows it.
constexpr avr_cycle_count_t kCyclesPerByte = 1150 * kCyclesPerMicrosecond;

// The bits the simulated UART counts per byte: start, 8 data, a parity bit whether one is
// set or not, and the stop bit.
constexpr avr_cycle_count_t kSimulatedBitsPerByte = 11;

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error("simulated board: " + what);
}

[[noreturn]] void failWithErrno(const std::string& what)
{
    fail(what + ": " + std::strerror(errno));
}

avr_cycle_count_t cyclesOf(std::chrono::microseconds duration)
{
    return static_cast<avr_cycle_count_t>(duration.count()) * kCyclesPerMicrosecond;
}

constexpr unsigned kDisplayAddress = 0x3C;
// The first byte of each transaction to the display says what the bytes after it are.
constexpr std::uint8_t kCommandStream = 0x00;

// How many argument bytes follow an SSD1306 command.
std::size_t argumentCount(std::uint8_t command)
{
    const auto isOneOf = [command](std::initializer_list<std::uint8_t> commands) {
        return std::find(commands.begin(), commands.end(), command) != commands.end();
    };
    if (isOneOf({0x20, 0x81, 0x8D, 0xA8, 0xD3, 0xD5, 0xD9, 0xDA, 0xDB})) {
        return 1;
    }
    if (isOneOf({0x21, 0x22, 0xA3})) {
        return 2;
    }
    if (isOneOf({0x29, 0x2A})) {
        return 5;
    }
    return isOneOf({0x26, 0x27}) ? 6 : 0;
}

} // namespace

struct SimulatedBoard::Impl {
    avr_t* avr = nullptr;
    ssd1306_t display{};
    std::unique_ptr<Sh1106Model> sh1106;
    avr_irq_t* uartInput = nullptr;

    int master = -1;
    // The board keeps the line's device open itself, so that a sender may open and close
    // it as often as it likes without the line hanging up.
    int slave = -1;
    QString slaveName;

    // The display's side of the I2C bus, followed apart from the simulated display.
    bool displaySelected = false;
    std::size_t byteInTransaction = 0;
    bool commandBytes = false;
    std::uint8_t command = 0;
    std::vector<std::uint8_t> arguments;
    std::size_t argumentsDue = 0;
    DisplaySetup setup;

    std::deque<std::uint8_t> line;
    avr_cycle_count_t nextByteAt = 0;
    std::uint64_t delivered = 0;
    bool overflowed = false;

    BusTraffic traffic;
    bool busTaken = false;
    std::chrono::microseconds busTakenAt{};

    // The board's transmit line, carried back to the pseudo-terminal.
    std::uint64_t transmitted = 0;

    ~Impl()
    {
        if (avr != nullptr) {
            avr_terminate(avr);
            std::free(avr);
        }
        if (slave >= 0) {
            ::close(slave);
        }
        if (master >= 0) {
            ::close(master);
        }
    }

    void openLine()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0) {
            failWithErrno("posix_openpt");
        }
        if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
            failWithErrno("cannot unlock the pseudo-terminal");
        }
        char name[128] = {};
        if (::ptsname_r(master, name, sizeof name) != 0) {
            failWithErrno("ptsname_r");
        }
        slaveName = QString::fromLocal8Bit(name);
        slave = ::open(name, O_RDWR | O_NOCTTY);
        if (slave < 0) {
            failWithErrno("cannot open " + std::string(name));
        }
        // Raw, so that every byte value crosses unchanged whatever the sender sets.
        termios settings{};
        if (::tcgetattr(slave, &settings) != 0) {
            failWithErrno("tcgetattr");
        }
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, B9600);
        if (::tcsetattr(slave, TCSANOW, &settings) != 0) {
            failWithErrno("tcsetattr");
        }
        const int flags = ::fcntl(master, F_GETFL);
        if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) {
            failWithErrno("cannot make the pseudo-terminal non-blocking");
        }
    }

    // Moves whatever the sender has written so far onto the line.
    void collectWrittenBytes()
    {
        std::uint8_t buffer[512];
        for (;;) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                line.insert(line.end(), buffer, buffer + n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                failWithErrno("reading the pseudo-terminal");
            }
            return;
        }
    }

    void runUntil(avr_cycle_count_t end)
    {
        while (avr->cycle < end) {
            // Once per byte time the line either carries the next byte or stays idle.
            if (avr->cycle >= nextByteAt) {
                collectWrittenBytes();
                if (!line.empty()) {
                    avr_raise_irq(uartInput, line.front());
                    line.pop_front();
                    ++delivered;
                }
                nextByteAt = avr->cycle + cyclesPerLineByte();
            }
            const int state = avr_run(avr);
            if (state == cpu_Done || state == cpu_Crashed) {
                fail("the firmware stopped (state " + std::to_string(state) + ")");
            }
        }
    }

    static void onDisplayBus(avr_irq_t* /*irq*/, std::uint32_t value, void* param)
    {
        Impl& d = *static_cast<Impl*>(param);
        avr_twi_msg_irq_t message{};
        message.u.v = value;
        const unsigned condition = message.u.twi.msg;
        d.countBusTraffic(condition);
        if ((condition & (TWI_COND_START | TWI_COND_STOP)) != 0) {
            d.displaySelected =
                (condition & TWI_COND_START) != 0 && (message.u.twi.addr >> 1U) == kDisplayAddress;
            d.byteInTransaction = 0;
        }
        if (!d.displaySelected || (condition & TWI_COND_WRITE) == 0) {
            return;
        }
        const auto byte = static_cast<std::uint8_t>(message.u.twi.data);
        if (d.byteInTransaction++ == 0) {
            d.commandBytes = byte == kCommandStream;
        } else if (d.commandBytes) {
            d.onCommandByte(byte);
        } else {
            ++d.setup.dataBytes;
            d.traffic.lastDataAt = d.now();
        }
    }

    // A start condition carries the address byte; every write after it one byte more.
    void countBusTraffic(unsigned condition)
    {
        if ((condition & TWI_COND_START) != 0) {
            ++traffic.transactions;
            ++traffic.bytes;
            if (!busTaken) {
                busTaken = true;
                busTakenAt = now();
            }
        } else if ((condition & TWI_COND_WRITE) != 0) {
            ++traffic.bytes;
        }
        if ((condition & TWI_COND_STOP) != 0 && busTaken) {
            busTaken = false;
            traffic.busyFor += now() - busTakenAt;
        }
    }

    [[nodiscard]] std::chrono::microseconds now() const
    {
        return std::chrono::microseconds(
            static_cast<std::int64_t>(avr->cycle / kCyclesPerMicrosecond));
    }

    void onCommandByte(std::uint8_t byte)
    {
        if (argumentsDue == 0) {
            command = byte;
            arguments.clear();
            argumentsDue = argumentCount(byte);
            return;
        }
        arguments.push_back(byte);
        if (--argumentsDue > 0) {
            return;
        }
        if (command == 0xA8) { // multiplex ratio
            setup.rows = arguments[0] + 1;
        } else if (command == 0xDA) { // COM pins configuration
            setup.comPins = arguments[0];
        } else if (command == 0x22) { // page range
            setup.firstPage = arguments[0];
            setup.lastPage = arguments[1];
        }
    }

    // A byte time of the line at the rate the firmware has set (USART0's divider), as the
    // simulated UART counts it; kCyclesPerByte while the receiver is off.
    [[nodiscard]] avr_cycle_count_t cyclesPerLineByte() const
    {
        const std::uint8_t* data = avr->data;
        if ((data[0xC1] & 0x10U) == 0) { // RXEN0
            return kCyclesPerByte;
        }
        const avr_cycle_count_t ubrr0 = data[0xC4] | ((data[0xC5] & 0x0FU) << 8U);
        const avr_cycle_count_t divisor = (data[0xC0] & 0x02U) != 0 ? 8 : 16; // U2X0
        return kSimulatedBitsPerByte * divisor * (ubrr0 + 1);
    }

    // A byte on SPI is display data while chip select (pin 10, PB2) is low and data/command
    // (pin 9, PB1) high.
    static void onSpiByte(avr_irq_t* /*irq*/, std::uint32_t /*value*/, void* param)
    {
        Impl& d = *static_cast<Impl*>(param);
        const unsigned portB = d.avr->data[0x25];
        if ((portB & 0x04U) == 0 && (portB & 0x02U) != 0) {
            ++d.setup.dataBytes;
            d.traffic.lastDataAt = d.now();
        }
    }

    static void onTransmit(avr_irq_t* /*irq*/, std::uint32_t value, void* param)
    {
        Impl& d = *static_cast<Impl*>(param);
        const auto byte = static_cast<std::uint8_t>(value);
        ssize_t written = 0;
        do {
            written = ::write(d.master, &byte, 1);
        } while (written < 0 && errno == EINTR);
        // A line that nobody reads loses what does not fit in the terminal's buffer.
        if (written == 1) {
            ++d.transmitted;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            failWithErrno("writing the pseudo-terminal");
        }
    }

    static void onReceiveQueueFull(avr_irq_t* /*irq*/, std::uint32_t value, void* param)
    {
        if (value != 0) {
            static_cast<Impl*>(param)->overflowed = true;
        }
    }
};

SimulatedBoard::SimulatedBoard(const std::string& firmwareFile, int displayRows)
    : SimulatedBoard(firmwareFile, DisplayModule{DisplayModule::Controller::Ssd1306, displayRows})
{
}

SimulatedBoard::SimulatedBoard(const std::string& firmwareFile, const DisplayModule& module)
    : m_impl(std::make_unique<Impl>())
{
    Impl& d = *m_impl;
    d.openLine();

    elf_firmware_t firmware{};
    if (elf_read_firmware(firmwareFile.c_str(), &firmware) != 0) {
        fail("cannot read the firmware " + firmwareFile);
    }
    d.avr = avr_make_mcu_by_name("atmega328p");
    if (d.avr == nullptr) {
        std::free(firmware.flash);
        fail("this simavr has no ATmega328P");
    }
    avr_init(d.avr);
    d.avr->frequency = kClockHz;
    d.avr->log = LOG_ERROR;
    avr_load_firmware(d.avr, &firmware);
    std::free(firmware.flash);
    std::free(firmware.eeprom);

    // The display on the I2C bus, its reset input on a pin the sketch leaves alone, as on the
    // usual modules, which reset themselves at power-on; or on SPI, with chip select,
    // data/command and reset on pins 10, 9 and 8 (PB2, PB1, PB0).
    ssd1306_init(d.avr, &d.display, SSD1306_VIRT_COLUMNS, module.rows);
    ssd1306_wiring_t wiring{};
    wiring.chip_select = {'B', 2};
    wiring.data_instruction = {'B', 1};
    wiring.reset = {'D', 7};
    if (module.controller == DisplayModule::Controller::Sh1106) {
        d.sh1106 = module.spi ? std::make_unique<Sh1106Model>(d.avr)
                              : std::make_unique<Sh1106Model>(d.avr, kDisplayAddress);
    } else if (module.spi) {
        wiring.reset = {'B', 0};
        ssd1306_connect(&d.display, &wiring);
    } else {
        ssd1306_connect_twi(&d.display, &wiring);
    }
    avr_irq_register_notify(avr_io_getirq(d.avr, AVR_IOCTL_TWI_GETIRQ(0), TWI_IRQ_OUTPUT),
                            &Impl::onDisplayBus, &d);
    if (module.spi) {
        avr_irq_register_notify(avr_io_getirq(d.avr, AVR_IOCTL_SPI_GETIRQ(0), SPI_IRQ_OUTPUT),
                                &Impl::onSpiByte, &d);
    }
    // A real panel's RAM holds noise after power-on; so does this one, so that what the
    // display shows is only ever what the firmware wrote.
    std::uint32_t noise = 0x2545F491;
    for (auto& page : d.display.vram) {
        for (auto& b : page) {
            noise = noise * 1664525U + 1013904223U;
            b = static_cast<std::uint8_t>(noise >> 24);
        }
    }

    // The serial line. Without the poll-sleep flag cleared, every read of the UART's
    // status register would sleep a microsecond of real time; without STDIO cleared, what
    // the firmware sends would be echoed on the test's output.
    std::uint32_t flags = 0;
    avr_ioctl(d.avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~static_cast<std::uint32_t>(AVR_UART_FLAG_POLL_SLEEP | AVR_UART_FLAG_STDIO);
    avr_ioctl(d.avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    d.uartInput = avr_io_getirq(d.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    avr_irq_register_notify(avr_io_getirq(d.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XOFF),
                            &Impl::onReceiveQueueFull, &d);
    avr_irq_register_notify(avr_io_getirq(d.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT),
                            &Impl::onTransmit, &d);

    run(kBootTime);
}

SimulatedBoard::~SimulatedBoard() = default;

QString SimulatedBoard::portName() const
{
    return m_impl->slaveName;
}

void SimulatedBoard::run(std::chrono::microseconds duration)
{
    m_impl->runUntil(m_impl->avr->cycle + cyclesOf(duration));
}

void SimulatedBoard::runUntilLineIdle(std::chrono::microseconds settle)
{
    Impl& d = *m_impl;
    for (;;) {
        d.collectWrittenBytes();
        if (d.line.empty()) {
            break;
        }
        d.runUntil(d.avr->cycle + kCyclesPerByte * d.line.size());
    }
    // The last byte is still on its way into the UART until its byte time has passed.
    d.runUntil(std::max(d.avr->cycle, d.nextByteAt) + cyclesOf(settle));
}

SimulatedBoard::SerialSettings SimulatedBoard::serialSettings() const
{
    // USART0's registers in the ATmega328P's data space.
    const std::uint8_t* data = m_impl->avr->data;
    const unsigned ucsr0a = data[0xC0];
    const unsigned ucsr0b = data[0xC1];
    const unsigned ucsr0c = data[0xC2];
    const unsigned ubrr0 = data[0xC4] | ((data[0xC5] & 0x0FU) << 8U);

    SerialSettings settings;
    const unsigned divisor = (ucsr0a & 0x02U) != 0 ? 8 : 16; // U2X0 doubles the rate
    settings.baud = static_cast<int>(kClockHz / (divisor * (ubrr0 + 1)));
    const unsigned sizeBits = ((ucsr0c >> 1U) & 0x03U) | (ucsr0b & 0x04U); // UCSZ02:0
    settings.dataBits = sizeBits <= 3 ? static_cast<int>(5 + sizeBits) : sizeBits == 7 ? 9 : 0;
    const unsigned parityBits = (ucsr0c >> 4U) & 0x03U; // UPM01:0
    settings.parity = parityBits == 2 ? 'e' : parityBits == 3 ? 'o' : 'n';
    settings.stopBits = (ucsr0c & 0x08U) != 0 ? 2 : 1; // USBS0
    settings.receiverOn = (ucsr0b & 0x10U) != 0;       // RXEN0
    return settings;
}

DisplayArray SimulatedBoard::displayMemory() const
{
    DisplayArray memory;
    if (const Sh1106Model* sh1106 = m_impl->sh1106.get()) {
        for (int column = 0; column < kDisplayWidth; ++column) {
            for (int page = 0; page < Sh1106Model::kPages; ++page) {
                memory[verticalIndex(column, page)] =
                    sh1106->memory(page, Sh1106Model::kFirstVisibleColumn + column);
            }
        }
        return memory;
    }
    for (int column = 0; column < SSD1306_VIRT_COLUMNS; ++column) {
        for (int page = 0; page < SSD1306_VIRT_PAGES; ++page) {
            memory[verticalIndex(column, page)] = m_impl->display.vram[page][column];
        }
    }
    return memory;
}

std::vector<std::uint8_t> SimulatedBoard::displayFrame() const
{
    if (m_impl->sh1106 != nullptr) {
        const DisplayArray memory = displayMemory();
        return {memory.bytes().begin(), memory.bytes().end()};
    }
    const ssd1306_t& display = m_impl->display;
    std::vector<std::uint8_t> frame(std::size_t{display.columns} * display.pages);
    for (std::size_t column = 0; column < display.columns; ++column) {
        for (std::size_t page = 0; page < display.pages; ++page) {
            frame[column * display.pages + page] = display.vram[page][column];
        }
    }
    return frame;
}

SimulatedBoard::DisplaySetup SimulatedBoard::displaySetup() const
{
    return m_impl->setup;
}

bool SimulatedBoard::displayIsOn() const
{
    if (m_impl->sh1106 != nullptr) {
        return m_impl->sh1106->isOn();
    }
    return ssd1306_get_flag(&m_impl->display, SSD1306_FLAG_DISPLAY_ON) != 0;
}

const Sh1106Model* SimulatedBoard::sh1106() const
{
    return m_impl->sh1106.get();
}

std::uint64_t SimulatedBoard::bytesDelivered() const
{
    return m_impl->delivered;
}

bool SimulatedBoard::receiveQueueOverflowed() const
{
    return m_impl->overflowed;
}

std::chrono::microseconds SimulatedBoard::simulatedTime() const
{
    return m_impl->now();
}

SimulatedBoard::BusTraffic SimulatedBoard::busTraffic() const
{
    return m_impl->traffic;
}

std::uint64_t SimulatedBoard::bytesTransmitted() const
{
    return m_impl->transmitted;
}

// simavr's cycle count, and with it simulated time, runs on through a reset.
void SimulatedBoard::reset()
{
    avr_reset(m_impl->avr);
}

} // namespace pixelcast::test
