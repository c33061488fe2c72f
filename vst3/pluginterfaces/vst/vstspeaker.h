// Speaker bits and the common speaker arrangements.
#pragma once

#include "pluginterfaces/vst/vsttypes.h"

namespace Steinberg {
namespace Vst {

const Speaker kSpeakerL = Speaker (1) << 0;
const Speaker kSpeakerR = Speaker (1) << 1;
const Speaker kSpeakerC = Speaker (1) << 2;
const Speaker kSpeakerLfe = Speaker (1) << 3;
const Speaker kSpeakerLs = Speaker (1) << 4;
const Speaker kSpeakerRs = Speaker (1) << 5;
const Speaker kSpeakerLc = Speaker (1) << 6;
const Speaker kSpeakerRc = Speaker (1) << 7;
const Speaker kSpeakerS = Speaker (1) << 8;
const Speaker kSpeakerCs = kSpeakerS;
const Speaker kSpeakerSl = Speaker (1) << 9;
const Speaker kSpeakerSr = Speaker (1) << 10;
const Speaker kSpeakerTc = Speaker (1) << 11;
const Speaker kSpeakerTfl = Speaker (1) << 12;
const Speaker kSpeakerTfc = Speaker (1) << 13;
const Speaker kSpeakerTfr = Speaker (1) << 14;
const Speaker kSpeakerTrl = Speaker (1) << 15;
const Speaker kSpeakerTrc = Speaker (1) << 16;
const Speaker kSpeakerTrr = Speaker (1) << 17;
const Speaker kSpeakerLfe2 = Speaker (1) << 18;
const Speaker kSpeakerM = Speaker (1) << 19;
const Speaker kSpeakerACN0 = Speaker (1) << 20;
const Speaker kSpeakerACN1 = Speaker (1) << 21;
const Speaker kSpeakerACN2 = Speaker (1) << 22;
const Speaker kSpeakerACN3 = Speaker (1) << 23;
const Speaker kSpeakerTsl = Speaker (1) << 24;
const Speaker kSpeakerTsr = Speaker (1) << 25;
const Speaker kSpeakerLcs = Speaker (1) << 26;
const Speaker kSpeakerRcs = Speaker (1) << 27;
const Speaker kSpeakerBfl = Speaker (1) << 28;
const Speaker kSpeakerBfc = Speaker (1) << 29;
const Speaker kSpeakerBfr = Speaker (1) << 30;
const Speaker kSpeakerPl = Speaker (1) << 31;
const Speaker kSpeakerPr = Speaker (1) << 32;
const Speaker kSpeakerBsl = Speaker (1) << 33;
const Speaker kSpeakerBsr = Speaker (1) << 34;
const Speaker kSpeakerBrl = Speaker (1) << 35;
const Speaker kSpeakerBrc = Speaker (1) << 36;
const Speaker kSpeakerBrr = Speaker (1) << 37;
const Speaker kSpeakerACN4 = Speaker (1) << 38;
const Speaker kSpeakerACN5 = Speaker (1) << 39;
const Speaker kSpeakerACN6 = Speaker (1) << 40;
const Speaker kSpeakerACN7 = Speaker (1) << 41;
const Speaker kSpeakerACN8 = Speaker (1) << 42;
const Speaker kSpeakerACN9 = Speaker (1) << 43;
const Speaker kSpeakerACN10 = Speaker (1) << 44;
const Speaker kSpeakerACN11 = Speaker (1) << 45;
const Speaker kSpeakerACN12 = Speaker (1) << 46;
const Speaker kSpeakerACN13 = Speaker (1) << 47;
const Speaker kSpeakerACN14 = Speaker (1) << 48;
const Speaker kSpeakerACN15 = Speaker (1) << 49;
const Speaker kSpeakerACN16 = Speaker (1) << 50;
const Speaker kSpeakerACN17 = Speaker (1) << 51;
const Speaker kSpeakerACN18 = Speaker (1) << 52;
const Speaker kSpeakerACN19 = Speaker (1) << 53;
const Speaker kSpeakerACN20 = Speaker (1) << 54;
const Speaker kSpeakerACN21 = Speaker (1) << 55;
const Speaker kSpeakerACN22 = Speaker (1) << 56;
const Speaker kSpeakerACN23 = Speaker (1) << 57;
const Speaker kSpeakerACN24 = Speaker (1) << 58;
const Speaker kSpeakerLw = Speaker (1) << 59;
const Speaker kSpeakerRw = Speaker (1) << 60;

namespace SpeakerArr {

const SpeakerArrangement kEmpty = 0;
const SpeakerArrangement kMono = kSpeakerM;
const SpeakerArrangement kStereo = kSpeakerL | kSpeakerR;
const SpeakerArrangement kStereoWide = kSpeakerLw | kSpeakerRw;
const SpeakerArrangement kStereoSurround = kSpeakerLs | kSpeakerRs;
const SpeakerArrangement kStereoCenter = kSpeakerLc | kSpeakerRc;
const SpeakerArrangement kStereoSide = kSpeakerSl | kSpeakerSr;
const SpeakerArrangement kStereoCLfe = kSpeakerC | kSpeakerLfe;
const SpeakerArrangement kStereoTF = kSpeakerTfl | kSpeakerTfr;
const SpeakerArrangement kStereoTS = kSpeakerTsl | kSpeakerTsr;
const SpeakerArrangement kStereoTR = kSpeakerTrl | kSpeakerTrr;
const SpeakerArrangement kStereoBF = kSpeakerBfl | kSpeakerBfr;
const SpeakerArrangement kCineFront = kSpeakerL | kSpeakerR | kSpeakerC | kSpeakerLc | kSpeakerRc;
const SpeakerArrangement k30Cine = kSpeakerL | kSpeakerR | kSpeakerC;
const SpeakerArrangement k31Cine = k30Cine | kSpeakerLfe;
const SpeakerArrangement k30Music = kSpeakerL | kSpeakerR | kSpeakerCs;
const SpeakerArrangement k31Music = k30Music | kSpeakerLfe;
const SpeakerArrangement k40Cine = kSpeakerL | kSpeakerR | kSpeakerC | kSpeakerCs;
const SpeakerArrangement k41Cine = k40Cine | kSpeakerLfe;
const SpeakerArrangement k40Music = kSpeakerL | kSpeakerR | kSpeakerLs | kSpeakerRs;
const SpeakerArrangement k41Music = k40Music | kSpeakerLfe;
const SpeakerArrangement k50 = kSpeakerL | kSpeakerR | kSpeakerC | kSpeakerLs | kSpeakerRs;
const SpeakerArrangement k51 = k50 | kSpeakerLfe;
const SpeakerArrangement k60Cine = k50 | kSpeakerCs;
const SpeakerArrangement k61Cine = k60Cine | kSpeakerLfe;
const SpeakerArrangement k60Music = kSpeakerL | kSpeakerR | kSpeakerLs | kSpeakerRs | kSpeakerSl | kSpeakerSr;
const SpeakerArrangement k61Music = k60Music | kSpeakerLfe;
const SpeakerArrangement k70Cine = k50 | kSpeakerLc | kSpeakerRc;
const SpeakerArrangement k71Cine = k70Cine | kSpeakerLfe;
const SpeakerArrangement k71CineFullFront = k71Cine;
const SpeakerArrangement k70Music = k50 | kSpeakerSl | kSpeakerSr;
const SpeakerArrangement k71Music = k70Music | kSpeakerLfe;
const SpeakerArrangement k71CineFullRear = k51 | kSpeakerLcs | kSpeakerRcs;
const SpeakerArrangement k71CineSideFill = k71Music;
const SpeakerArrangement k71Proximity = k51 | kSpeakerPl | kSpeakerPr;
const SpeakerArrangement k80Cine = k70Cine | kSpeakerCs;
const SpeakerArrangement k81Cine = k80Cine | kSpeakerLfe;
const SpeakerArrangement k80Music = k50 | kSpeakerCs | kSpeakerSl | kSpeakerSr;
const SpeakerArrangement k81Music = k80Music | kSpeakerLfe;
const SpeakerArrangement kAmbi1stOrderACN = kSpeakerACN0 | kSpeakerACN1 | kSpeakerACN2 | kSpeakerACN3;
const SpeakerArrangement kAmbi2cdOrderACN =
    kAmbi1stOrderACN | kSpeakerACN4 | kSpeakerACN5 | kSpeakerACN6 | kSpeakerACN7 | kSpeakerACN8;
const SpeakerArrangement kAmbi3rdOrderACN = kAmbi2cdOrderACN | kSpeakerACN9 | kSpeakerACN10 |
                                            kSpeakerACN11 | kSpeakerACN12 | kSpeakerACN13 |
                                            kSpeakerACN14 | kSpeakerACN15;
const SpeakerArrangement k80Cube = kSpeakerL | kSpeakerR | kSpeakerLs | kSpeakerRs | kSpeakerTfl |
                                   kSpeakerTfr | kSpeakerTrl | kSpeakerTrr;
const SpeakerArrangement k40_4 = k80Cube;
const SpeakerArrangement k70_2_TF = k70Music | kSpeakerTfl | kSpeakerTfr;
const SpeakerArrangement k71_2_TF = k70_2_TF | kSpeakerLfe;
const SpeakerArrangement k70_4 = k70_2_TF | kSpeakerTrl | kSpeakerTrr;
const SpeakerArrangement k71_4 = k70_4 | kSpeakerLfe;

// Number of set bits: one channel per speaker.
inline int32 getChannelCount (SpeakerArrangement arr)
{
	int32 count = 0;
	for (; arr; arr &= arr - 1)
		++count;
	return count;
}

// Channel index of `speaker` inside the arrangement, or -1 when it is not part of it.
inline int32 getSpeakerIndex (Speaker speaker, SpeakerArrangement arrangement)
{
	if ((arrangement & speaker) == 0)
		return -1;
	return getChannelCount (arrangement & (speaker - 1));
}

// Speaker bit of channel `index`, or 0 when there are fewer channels.
inline Speaker getSpeaker (const SpeakerArrangement& arr, int32 index)
{
	SpeakerArrangement rest = arr;
	for (int32 i = 0; rest; ++i)
	{
		Speaker lowest = rest & (~rest + 1);
		if (i == index)
			return lowest;
		rest &= rest - 1;
	}
	return 0;
}

inline bool isSubsetOf (const SpeakerArrangement& arrSubSet, const SpeakerArrangement& arr)
{
	return arrSubSet == (arrSubSet & arr);
}

inline bool hasLfe (const SpeakerArrangement& arr)
{
	return (arr & (kSpeakerLfe | kSpeakerLfe2)) != 0;
}

} // namespace SpeakerArr
} // namespace Vst
} // namespace Steinberg
