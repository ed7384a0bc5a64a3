#include "framecipher.h"

// AES-128 (FIPS-197) in CBC mode with a zero IV per frame. No cipher table is
// stored in the program: every call derives the S-box from GF(2^8) logarithms
// and expands the key again, inside three static 256-byte buffers whose roles
// differ by direction. Nothing is allocated and nothing survives a call but
// the key, so a call never depends on what the previous one left behind.
//
//   buffer   encryptFrame                     decryptFrame
//   first    S-box                            logarithms, then inverse S-box
//   second   antilogarithms, then schedule    antilogarithms, then schedule
//   third    logarithms                       S-box

namespace {

constexpr int KeySize = 16;
constexpr int BlockSize = 16;
constexpr int Rounds = 10;
constexpr int TableSize = 256;
constexpr int ScheduleWords = 4 * (Rounds + 1); // 44 words, 176 bytes
constexpr quint8 ReductionPolynomial = 0x1B; // x^8 + x^4 + x^3 + x + 1 without x^8
constexpr quint8 SboxConstant = 0x63;

quint8 frameKey[KeySize] = {}; // all zero until setFrameKey
quint8 firstBuffer[TableSize];
quint8 secondBuffer[TableSize];
quint8 thirdBuffer[TableSize];

quint8 xtime(quint8 b)
{
    return static_cast<quint8>((b << 1) ^ ((b & 0x80) ? ReductionPolynomial : 0));
}

quint8 multiply(quint8 a, quint8 b)
{
    quint8 product = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (b & (1 << bit))
            product ^= a;
        a = xtime(a);
    }
    return product;
}

quint8 rotateLeft(quint8 b, int bits)
{
    return static_cast<quint8>((b << bits) | (b >> (8 - bits)));
}

// Powers of the generator 3 and their logarithms. The powers return to 1 after
// 255 steps; antilog[255] = 1 lets the inverse of 1 (antilog[255 - log[1]]) come out right.
void buildLogTables(quint8 *logTable, quint8 *antilogTable)
{
    antilogTable[0] = 1;
    logTable[1] = 0;
    quint8 value = 1;
    for (int i = 1; i < TableSize - 1; ++i) {
        value ^= xtime(value);
        antilogTable[i] = value;
        logTable[value] = static_cast<quint8>(i);
    }
    antilogTable[TableSize - 1] = antilogTable[0];
}

// S[x] is the affine transform of the multiplicative inverse of x (0 for 0).
void buildSbox(quint8 *sbox, const quint8 *logTable, const quint8 *antilogTable)
{
    for (int x = 0; x < TableSize; ++x) {
        const quint8 inverse = x == 0 ? 0 : antilogTable[TableSize - 1 - logTable[x]];
        sbox[x] = static_cast<quint8>(inverse ^ rotateLeft(inverse, 1) ^ rotateLeft(inverse, 2) ^ rotateLeft(inverse, 3)
                                      ^ rotateLeft(inverse, 4) ^ SboxConstant);
    }
}

// The eleven round keys, round key r at bytes 16r to 16r + 15.
void expandKey(quint8 *schedule, const quint8 *sbox)
{
    for (int i = 0; i < KeySize; ++i)
        schedule[i] = frameKey[i];
    quint8 rcon = 1;
    for (int word = 4; word < ScheduleWords; ++word) {
        const quint8 *previous = schedule + 4 * (word - 1);
        quint8 temp[4] = {previous[0], previous[1], previous[2], previous[3]};
        if (word % 4 == 0) {
            const quint8 first = temp[0];
            temp[0] = static_cast<quint8>(sbox[temp[1]] ^ rcon);
            temp[1] = sbox[temp[2]];
            temp[2] = sbox[temp[3]];
            temp[3] = sbox[first];
            rcon = xtime(rcon);
        }
        for (int i = 0; i < 4; ++i)
            schedule[4 * word + i] = static_cast<quint8>(schedule[4 * (word - 4) + i] ^ temp[i]);
    }
}

// The first x with S[x] = v, found by plain search: no second table is derived.
void buildInverseSbox(quint8 *inverseSbox, const quint8 *sbox)
{
    for (int value = 0; value < TableSize; ++value) {
        for (int x = 0; x < TableSize; ++x) {
            if (sbox[x] == value) {
                inverseSbox[value] = static_cast<quint8>(x);
                break;
            }
        }
    }
}

void addRoundKey(quint8 *state, const quint8 *schedule, int round)
{
    for (int i = 0; i < BlockSize; ++i)
        state[i] ^= schedule[BlockSize * round + i];
}

void substitute(quint8 *state, const quint8 *table)
{
    for (int i = 0; i < BlockSize; ++i)
        state[i] = table[state[i]];
}

// Byte i of a block is row i % 4, column i / 4; row r turns left by r columns.
void shiftRows(quint8 *state)
{
    quint8 shifted[BlockSize];
    for (int i = 0; i < BlockSize; ++i) {
        const int row = i % 4;
        const int column = i / 4;
        shifted[i] = state[row + 4 * ((column + row) % 4)];
    }
    for (int i = 0; i < BlockSize; ++i)
        state[i] = shifted[i];
}

void inverseShiftRows(quint8 *state)
{
    quint8 shifted[BlockSize];
    for (int i = 0; i < BlockSize; ++i) {
        const int row = i % 4;
        const int column = i / 4;
        shifted[i] = state[row + 4 * ((column - row + 4) % 4)];
    }
    for (int i = 0; i < BlockSize; ++i)
        state[i] = shifted[i];
}

void mixColumn(const quint8 *column, quint8 *out)
{
    const quint8 a = column[0], b = column[1], c = column[2], d = column[3];
    out[0] = static_cast<quint8>(multiply(a, 2) ^ multiply(b, 3) ^ c ^ d);
    out[1] = static_cast<quint8>(a ^ multiply(b, 2) ^ multiply(c, 3) ^ d);
    out[2] = static_cast<quint8>(a ^ b ^ multiply(c, 2) ^ multiply(d, 3));
    out[3] = static_cast<quint8>(multiply(a, 3) ^ b ^ c ^ multiply(d, 2));
}

void mixColumns(quint8 *state)
{
    for (int column = 0; column < 4; ++column) {
        quint8 mixed[4];
        mixColumn(state + 4 * column, mixed);
        for (int row = 0; row < 4; ++row)
            state[4 * column + row] = mixed[row];
    }
}

// Multiplication by the row (0E, 0B, 0D, 09) from MixColumns and doublings:
// 0E = 02 + 04 + 08, 0B = 03 + 08, 0D = 01 + 04 + 08, 09 = 01 + 08.
void inverseMixColumns(quint8 *state)
{
    for (int column = 0; column < 4; ++column) {
        quint8 *col = state + 4 * column;
        quint8 mixed[4];
        mixColumn(col, mixed);
        const quint8 eight = xtime(xtime(xtime(static_cast<quint8>(col[0] ^ col[1] ^ col[2] ^ col[3]))));
        const quint8 fourAC = xtime(xtime(static_cast<quint8>(col[0] ^ col[2])));
        const quint8 fourBD = xtime(xtime(static_cast<quint8>(col[1] ^ col[3])));
        col[0] = static_cast<quint8>(mixed[0] ^ fourAC ^ eight);
        col[1] = static_cast<quint8>(mixed[1] ^ fourBD ^ eight);
        col[2] = static_cast<quint8>(mixed[2] ^ fourAC ^ eight);
        col[3] = static_cast<quint8>(mixed[3] ^ fourBD ^ eight);
    }
}

void encryptBlock(quint8 *state, const quint8 *sbox, const quint8 *schedule)
{
    addRoundKey(state, schedule, 0);
    for (int round = 1; round < Rounds; ++round) {
        substitute(state, sbox);
        shiftRows(state);
        mixColumns(state);
        addRoundKey(state, schedule, round);
    }
    substitute(state, sbox);
    shiftRows(state);
    addRoundKey(state, schedule, Rounds);
}

void inverseSubstituteAndAddRoundKey(quint8 *state, const quint8 *inverseSbox, const quint8 *schedule, int round)
{
    for (int i = 0; i < BlockSize; ++i)
        state[i] = static_cast<quint8>(inverseSbox[state[i]] ^ schedule[BlockSize * round + i]);
}

void decryptBlock(quint8 *state, const quint8 *inverseSbox, const quint8 *schedule)
{
    addRoundKey(state, schedule, Rounds);
    for (int round = Rounds - 1; round >= 1; --round) {
        inverseShiftRows(state);
        inverseSubstituteAndAddRoundKey(state, inverseSbox, schedule, round);
        inverseMixColumns(state);
    }
    inverseShiftRows(state);
    inverseSubstituteAndAddRoundKey(state, inverseSbox, schedule, 0);
}

} // namespace

void setFrameKey(const quint8 *key)
{
    for (int i = 0; i < KeySize; ++i)
        frameKey[i] = key[i];
}

void encryptFrame(quint8 *frame, quint16 length)
{
    quint8 *sbox = firstBuffer;
    quint8 *schedule = secondBuffer;
    buildLogTables(thirdBuffer, secondBuffer);
    buildSbox(sbox, thirdBuffer, secondBuffer);
    expandKey(schedule, sbox);

    // Whole blocks only, counted in an int: no length up to 65535 can wrap the walk past the buffer.
    quint8 chain[BlockSize] = {};
    const int blocks = length / BlockSize;
    for (int n = 0; n < blocks; ++n) {
        quint8 *block = frame + BlockSize * n;
        for (int i = 0; i < BlockSize; ++i)
            block[i] ^= chain[i];
        encryptBlock(block, sbox, schedule);
        for (int i = 0; i < BlockSize; ++i)
            chain[i] = block[i];
    }
}

void decryptFrame(quint8 *frame, quint16 length)
{
    quint8 *sbox = thirdBuffer;
    quint8 *schedule = secondBuffer;
    quint8 *inverseSbox = firstBuffer;
    buildLogTables(firstBuffer, secondBuffer);
    buildSbox(sbox, firstBuffer, secondBuffer);
    expandKey(schedule, sbox);
    buildInverseSbox(inverseSbox, sbox);

    // Whole blocks only, as in encryptFrame.
    quint8 chain[BlockSize] = {};
    const int blocks = length / BlockSize;
    for (int n = 0; n < blocks; ++n) {
        quint8 *block = frame + BlockSize * n;
        quint8 saved[BlockSize];
        for (int i = 0; i < BlockSize; ++i)
            saved[i] = block[i];
        decryptBlock(block, inverseSbox, schedule);
        for (int i = 0; i < BlockSize; ++i) {
            block[i] ^= chain[i];
            chain[i] = saved[i];
        }
    }
}
