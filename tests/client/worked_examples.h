// The worked examples of the EPL2 layouts: request data and the label job each layout
// makes of it with move-left 80 and barcode font size 80. Layout, dispatch and program
// tests all check against these, so an example is written down once.
#pragma once

namespace worked {

// Protocols 0 and 3 (Biochimie), 6 (Coagulare).
inline const char kTubeData[] = "A1234567\\LINE TWO\\LINE THREE\\";
inline const char kBiochimieJob[] =
    "D8\n\nN\nB45,0,0,1,2,4,160,N,\"A1234567\"\n"
    "A90,125,0,2,1,1,N,\"*A1234567*\"\n"
    "A10,145,0,2,1,1,N,\"LINE TWO\"\n"
    "A10,165,0,2,1,1,N,\"LINE THREE\"\n"
    "P1\n";
inline const char kCoagulareJob[] =
    "D8\n\nN\nB10,0,0,3,2,4,40,N,\"A1234567\"\n"
    "A90,45,0,2,1,1,N,\"*A1234567*\"\n"
    "A10,70,0,2,1,1,N,\"LINE TWO\"\n"
    "A10,90,0,2,1,1,N,\"LINE THREE\"\n"
    "A10,110,0,2,1,1,N,\"\"\n"
    "A10,130,0,2,1,1,N,\"\"\n"
    "A10,150,0,2,1,1,N,\"\"\n"
    "P1\n";

// Protocol 4 (Hematologie).
inline const char kHematologieData[] = "H555\\N1\\N2\\N3\\TAIL";
inline const char kHematologieJob[] =
    "D8\n\nN\nB10,0,0,3C,2,4,80,N,\"H555\"\n"
    "A90,85,0,2,1,1,N,\"*H555*\"\n"
    "A10,110,0,2,1,1,N,\"N1\"\n"
    "A10,130,0,2,1,1,N,\"N2\"\n"
    "A10,150,0,2,1,1,N,\"Hematologie\"\n"
    "A30,170,0,2,1,1,N,\"N3\"\n"
    "P1\n";

// Protocol 1 (field list).
inline const char kFieldListData[] =
    "B^1^A1234567\\LINE TWO\\A^3^LINE THREE\\A TEXT OF TWENTY-SIX CHARS\\";
inline const char kFieldListJob[] =
    "D8\n\nN\n"
    "B10,0,0,1,2,4,80,B,\"A1234567\"\n"
    "A10,110,0,2,1,1,N,\"LINE TWO\"\n"
    "A10,130,0,3,1,1,N,\"LINE THREE\"\n"
    "A10,150,0,2,1,1,N,\"A TEXT OF TWENTY-SIX\"\n"
    "A10,170,0,2,1,1,N,\" CHARS\"\n"
    "P1\n";

// Protocol 11 (grouped field list), domain lines printed.
inline const char kGroupedData[] = "D1^D2\\B^1^A1234567\\LINE TWO|D3\\LINE FOUR";
inline const char kGroupedJob[] =
    "D8\n\nN\nB10,0,0,1,2,4,80,B,\"A1234567\"\nA10,110,0,2,1,1,N,\"LINE TWO\"\n"
    "A10,130,0,2,1,1,N,\"D1\"\nP1\n"
    "D8\n\nN\nB10,0,0,1,2,4,80,B,\"A1234567\"\nA10,110,0,2,1,1,N,\"LINE TWO\"\n"
    "A10,130,0,2,1,1,N,\"D2\"\nP1\n"
    "D8\n\nN\nA10,0,0,2,1,1,N,\"LINE FOUR\"\nA10,20,0,2,1,1,N,\"D3\"\nP1\n";

// Protocol 10: PAGECODE=B, hex text, domain lines, suffix "-X" for D2.
inline const char kProtocol10Data[] = "D1^D2\\B^1^A1234567\\4C494E452054574F\\A^3^4C494E45";
inline const char kProtocol10Job[] =
    "I8,B,001\nD8\n\nN\n"
    "B10,0,0,1,2,4,80,B,\"A1234567\"\n"
    "A10,110,0,2,1,1,N,\"LINE TWO\"\n"
    "A10,130,0,3,1,1,N,\"LINE\"\n"
    "A10,150,0,3,1,1,N,\"D1\"\n"
    "P1\n"
    "I8,B,001\nD8\n\nN\n"
    "B10,0,0,1,2,4,80,B,\"A1234567-X\"\n"
    "A10,110,0,2,1,1,N,\"LINE TWO\"\n"
    "A10,130,0,3,1,1,N,\"LINE\"\n"
    "A10,150,0,3,1,1,N,\"D2\"\n"
    "P1\n";

// Protocol 100 (numbered series).
inline const char kSeriesData[] = "41^2^3^6\\B^1\\LOT 7\\A^3^SERIES A";
inline const char kSeriesJob[] =
    "D8\n\nN\nB10,0,0,1,2,4,80,B,\"000041\"\nA10,110,0,2,1,1,N,\"LOT 7\"\n"
    "A10,130,0,3,1,1,N,\"SERIES A\"\nP3\n"
    "D8\n\nN\nB10,0,0,1,2,4,80,B,\"000042\"\nA10,110,0,2,1,1,N,\"LOT 7\"\n"
    "A10,130,0,3,1,1,N,\"SERIES A\"\nP3\n";

}  // namespace worked
