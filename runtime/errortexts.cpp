// The built-in message texts and the code table.
//
// ErrorCodeMessages gives the message number of each code from 1000 to 1427 (-1: the code has
// no message and shows the error string itself). BuiltInMessages holds the English text of each
// message number from 0 to 508; every number has a text. A loaded catalog replaces texts by
// message number, so the numbers stay fixed once given out. Codes that no command raises with a
// text of its own, and the message numbers that no code or progress line uses, share the text
// "An error occurred!".
#include "runtime/errors.h"

extern const short ErrorCodeMessages[ERR_CODE_COUNT];
extern const char *const BuiltInMessages[ERR_MESSAGE_COUNT];

const short ErrorCodeMessages[ERR_CODE_COUNT] = {
    /* 1000 */ 13, 0, 1, 2, 3, 4, 5, 6,
    /* 1008 */ 7, 8, 9, 10, 11, 12, 14, 15,
    /* 1016 */ 16, 17, 18, 19, 20, 21, 22, 23,
    /* 1024 */ 24, 25, 26, 27, 28, 29, 30, 31,
    /* 1032 */ 32, 33, 34, 35, 36, 37, 38, 39,
    /* 1040 */ 40, 41, 42, 43, 44, 45, 46, 47,
    /* 1048 */ 48, 49, 50, 51, 52, 53, 54, 55,
    /* 1056 */ 56, 57, 58, 59, 60, 61, 62, 63,
    /* 1064 */ -1, 64, 65, 66, 67, 68, 69, 70,
    /* 1072 */ 71, 72, 73, 74, 75, 76, 77, 78,
    /* 1080 */ 79, 80, 81, 82, 83, 84, 85, 86,
    /* 1088 */ 87, 88, 89, 91, 90, 93, 96, 99,
    /* 1096 */ 100, 101, 102, 103, 104, 105, 107, 110,
    /* 1104 */ 111, 112, 113, 114, 115, 117, 118, 119,
    /* 1112 */ 120, 121, 122, 123, 124, 125, 126, 127,
    /* 1120 */ 128, 129, 130, 131, 132, 133, 134, 135,
    /* 1128 */ 136, 137, 138, 139, 140, 141, 142, 143,
    /* 1136 */ 144, 145, 146, 147, 148, 149, 150, 151,
    /* 1144 */ 152, 153, 154, 155, 156, 157, 158, 159,
    /* 1152 */ 160, 161, 162, 163, 164, 165, 166, 167,
    /* 1160 */ 168, 169, 170, 171, 172, 173, 174, 175,
    /* 1168 */ 176, 177, 178, 179, 180, 181, 182, 183,
    /* 1176 */ 184, 185, 186, 187, 188, 189, 190, 191,
    /* 1184 */ 192, 193, 195, 196, 197, 198, 199, 200,
    /* 1192 */ 201, 202, 203, 204, 205, 206, 207, 208,
    /* 1200 */ 209, 210, 211, 212, 213, 214, 215, 216,
    /* 1208 */ 217, 218, 219, 220, 221, 222, 223, 224,
    /* 1216 */ 225, 226, 227, 228, 229, 230, 231, 232,
    /* 1224 */ 233, 234, 235, 236, 237, 238, 239, 240,
    /* 1232 */ 241, 242, 243, 244, 245, 246, 247, -1,
    /* 1240 */ 248, 249, 250, 251, 252, 253, 254, 255,
    /* 1248 */ 256, 257, 258, 259, 260, 261, 263, 264,
    /* 1256 */ 265, 266, 267, 268, 269, 270, 271, 272,
    /* 1264 */ 273, -1, 274, 275, 276, 277, 279, 281,
    /* 1272 */ 282, 283, 284, 285, 286, 288, 289, 290,
    /* 1280 */ 291, 292, 293, 294, 295, 296, 297, 298,
    /* 1288 */ 299, 300, 301, 302, 303, 304, 305, 306,
    /* 1296 */ 308, 309, 310, 311, 312, 313, 314, 315,
    /* 1304 */ 316, 317, 318, 319, 320, 321, 322, 323,
    /* 1312 */ 324, 325, 326, 327, 328, 329, 330, 331,
    /* 1320 */ 332, 333, 334, 335, 336, 337, 340, 341,
    /* 1328 */ 342, 343, 344, 345, 346, 347, 348, 349,
    /* 1336 */ 350, 351, 352, 353, 354, 355, 356, 357,
    /* 1344 */ 358, 359, 360, 361, 362, 363, 364, 365,
    /* 1352 */ 366, 367, 368, 369, 370, 371, 372, 373,
    /* 1360 */ 374, 375, 376, 377, 378, 379, 380, 381,
    /* 1368 */ 382, 383, 384, 385, 386, 387, 388, 389,
    /* 1376 */ 390, 391, 392, 393, 394, 395, 396, 397,
    /* 1384 */ 398, 399, 400, 401, 403, 404, 405, 406,
    /* 1392 */ 407, 408, 409, 411, 412, 413, 414, 415,
    /* 1400 */ 416, 417, 418, 419, 420, 421, 422, 423,
    /* 1408 */ 424, 425, 426, 427, 428, 429, 430, 431,
    /* 1416 */ 432, 433, 434, 435, 436, 437, 438, 439,
    /* 1424 */ 440, 441, 442, 443,
};

const char *const BuiltInMessages[ERR_MESSAGE_COUNT] = {
    /*   0 */ "An error occurred!",  // 1001
    /*   1 */ "An error occurred!",  // 1002
    /*   2 */ "User abort!",  // 1003
    /*   3 */ "Error opening screen!",  // 1004
    /*   4 */ "Could not write all characters to file!\nCheck if there is enough free space!",  // 1005
    /*   5 */ "An error occurred!",  // 1006
    /*   6 */ "An error occurred!",  // 1007
    /*   7 */ "An error occurred!",  // 1008
    /*   8 */ "Could not read all characters from file!\nCheck if it is read protected!",  // 1009
    /*   9 */ "Unable to open window!",  // 1010
    /*  10 */ "An error occurred!",  // 1011
    /*  11 */ "An error occurred!",  // 1012
    /*  12 */ "An error occurred!",  // 1013
    /*  13 */ "Out of memory!",  // 1000
    /*  14 */ "Not enough arguments!",  // 1014
    /*  15 */ "An error occurred!",  // 1015
    /*  16 */ "An error occurred!",  // 1016
    /*  17 */ "An error occurred!",  // 1017
    /*  18 */ "General syntax error!",  // 1018
    /*  19 */ "Wrong data type specified!",  // 1019
    /*  20 */ "An error occurred!",  // 1020
    /*  21 */ "An error occurred!",  // 1021
    /*  22 */ "An error occurred!",  // 1022
    /*  23 */ "An error occurred!",  // 1023
    /*  24 */ "Value expected!",  // 1024
    /*  25 */ "An error occurred!",  // 1025
    /*  26 */ "An error occurred!",  // 1026
    /*  27 */ "An error occurred!",  // 1027
    /*  28 */ "An error occurred!",  // 1028
    /*  29 */ "An error occurred!",  // 1029
    /*  30 */ "Wrong operator for this type!",  // 1030
    /*  31 */ "An error occurred!",  // 1031
    /*  32 */ "An error occurred!",  // 1032
    /*  33 */ "An error occurred!",  // 1033
    /*  34 */ "An error occurred!",  // 1034
    /*  35 */ "An error occurred!",  // 1035
    /*  36 */ "An error occurred!",  // 1036
    /*  37 */ "An error occurred!",  // 1037
    /*  38 */ "An error occurred!",  // 1038
    /*  39 */ "An error occurred!",  // 1039
    /*  40 */ "Return without Gosub!",  // 1040
    /*  41 */ "Requested object not found!",  // 1041
    /*  42 */ "Constant not found!",  // 1042
    /*  43 */ "An error occurred!",  // 1043
    /*  44 */ "Cannot open file %s !",  // 1044
    /*  45 */ "Cannot read file %s !",  // 1045
    /*  46 */ "An error occurred!",  // 1046
    /*  47 */ "An error occurred!",  // 1047
    /*  48 */ "An error occurred!",  // 1048
    /*  49 */ "An error occurred!",  // 1049
    /*  50 */ "An error occurred!",  // 1050
    /*  51 */ "An error occurred!",  // 1051
    /*  52 */ "Cannot write to file %s !",  // 1052
    /*  53 */ "An error occurred!",  // 1053
    /*  54 */ "An error occurred!",  // 1054
    /*  55 */ "Wrong usage/parameters for this command!\nRead the documentation!",  // 1055
    /*  56 */ "This command cannot be used when SelectBGPic() is active!",  // 1056
    /*  57 */ "An error occurred!",  // 1057
    /*  58 */ "An error occurred!",  // 1058
    /*  59 */ "No script filename specified!",  // 1059
    /*  60 */ "Wrong arguments specified!",  // 1060
    /*  61 */ "An error occurred!",  // 1061
    /*  62 */ "An error occurred!",  // 1062
    /*  63 */ "An error occurred!",  // 1063
    /*  64 */ "Cannot find file %s !",  // 1065
    /*  65 */ "Internal limit encountered! Contact the author...",  // 1066
    /*  66 */ "An error occurred!",  // 1067
    /*  67 */ "An error occurred!",  // 1068
    /*  68 */ "An error occurred!",  // 1069
    /*  69 */ "An error occurred!",  // 1070
    /*  70 */ "An error occurred!",  // 1071
    /*  71 */ "An error occurred!",  // 1072
    /*  72 */ "An error occurred!",  // 1073
    /*  73 */ "An error occurred!",  // 1074
    /*  74 */ "An error occurred!",  // 1075
    /*  75 */ "Invalid seek position specified!",  // 1076
    /*  76 */ "An error occurred!",  // 1077
    /*  77 */ "This function requires enabled layers!",  // 1078
    /*  78 */ "An error occurred!",  // 1079
    /*  79 */ "Unknown attribute specified!",  // 1080
    /*  80 */ "Specified layer is out of range!",  // 1081
    /*  81 */ "This command cannot be used when SelectBrush() is active!",  // 1082
    /*  82 */ "An error occurred!",  // 1083
    /*  83 */ "Error creating directory %s !",  // 1084
    /*  84 */ "Unable to change display size to %s !",  // 1085
    /*  85 */ "You cannot specify an initial BGPic together with DISPLAYDESKTOP!",  // 1086
    /*  86 */ "An error occurred!",  // 1087
    /*  87 */ "An error occurred!",  // 1088
    /*  88 */ "Division by zero!",  // 1089
    /*  89 */ "An error occurred!",  // 1090
    /*  90 */ "An error occurred!",  // 1092
    /*  91 */ "Unknown error code!",  // 1091
    /*  92 */ "current line",
    /*  93 */ "An error occurred!",  // 1093
    /*  94 */ "OK",
    /*  95 */ "done",
    /*  96 */ "Specified animation frame is out of range!",  // 1094
    /*  97 */ "Opening script %s",
    /*  98 */ "Loading animation %s",
    /*  99 */ "An error occurred!",  // 1095
    /* 100 */ "An error occurred!",  // 1096
    /* 101 */ "An error occurred!",  // 1097
    /* 102 */ "An error occurred!",  // 1098
    /* 103 */ "An error occurred!",  // 1099
    /* 104 */ "An error occurred!",  // 1100
    /* 105 */ "An error occurred!",  // 1101
    /* 106 */ "Compiling script",
    /* 107 */ "An error occurred!",  // 1102
    /* 108 */ "failed",
    /* 109 */ "Loading sample %s",
    /* 110 */ "An error occurred!",  // 1103
    /* 111 */ "An error occurred!",  // 1104
    /* 112 */ "An error occurred!",  // 1105
    /* 113 */ "An error occurred!",  // 1106
    /* 114 */ "An error occurred!",  // 1107
    /* 115 */ "Closing square bracket expected!",  // 1108
    /* 116 */ "Cannot open font %s with size %ld!",
    /* 117 */ "An error occurred!",  // 1109
    /* 118 */ "An error occurred!",  // 1110
    /* 119 */ "An error occurred!",  // 1111
    /* 120 */ "An error occurred!",  // 1112
    /* 121 */ "An error occurred!",  // 1113
    /* 122 */ "An error occurred!",  // 1114
    /* 123 */ "An error occurred!",  // 1115
    /* 124 */ "An error occurred!",  // 1116
    /* 125 */ "An error occurred!",  // 1117
    /* 126 */ "An error occurred!",  // 1118
    /* 127 */ "An error occurred!",  // 1119
    /* 128 */ "An error occurred!",  // 1120
    /* 129 */ "An error occurred!",  // 1121
    /* 130 */ "An error occurred!",  // 1122
    /* 131 */ "An error occurred!",  // 1123
    /* 132 */ "An error occurred!",  // 1124
    /* 133 */ "An error occurred!",  // 1125
    /* 134 */ "An error occurred!",  // 1126
    /* 135 */ "An error occurred!",  // 1127
    /* 136 */ "An error occurred!",  // 1128
    /* 137 */ "An error occurred!",  // 1129
    /* 138 */ "Attempt to compare a number with a string!",  // 1130
    /* 139 */ "Wrong data types for concatenation!",  // 1131
    /* 140 */ "Table %s not found!",  // 1132
    /* 141 */ "Function %s not found!",  // 1133
    /* 142 */ "Internal limit reached! Error code %s.",  // 1134
    /* 143 */ "Stack overflow!",  // 1135
    /* 144 */ "An error occurred!",  // 1136
    /* 145 */ "An error occurred!",  // 1137
    /* 146 */ "Number expected in argument %ld!",  // 1138
    /* 147 */ "String expected in argument %ld!",  // 1139
    /* 148 */ "Table expected in argument %ld!",  // 1140
    /* 149 */ "File was opened in read-only mode!",  // 1141
    /* 150 */ "File was opened in write-only mode!",  // 1142
    /* 151 */ "Could not delete file!",  // 1143
    /* 152 */ "An error occurred!",  // 1144
    /* 153 */ "Could not rename file!",  // 1145
    /* 154 */ "Specified offset is out of range!",  // 1146
    /* 155 */ "This command cannot be used when SelectMask() is active!",  // 1147
    /* 156 */ "An error occurred!",  // 1148
    /* 157 */ "Attempt to modify the active brush!",  // 1149
    /* 158 */ "An error occurred!",  // 1150
    /* 159 */ "An error occurred!",  // 1151
    /* 160 */ "Could not lock bitmap!",  // 1152
    /* 161 */ "An error occurred!",  // 1153
    /* 162 */ "Negative coordinates are not allowed here!",  // 1154
    /* 163 */ "Specified layer is not an anim layer!",  // 1155
    /* 164 */ "Brush size does not match specified arguments!",  // 1156
    /* 165 */ "An error occurred!",  // 1157
    /* 166 */ "An error occurred!",  // 1158
    /* 167 */ "Table field %s was not initialized!",  // 1159
    /* 168 */ "An error occurred!",  // 1160
    /* 169 */ "Layer name was already assigned!",  // 1161
    /* 170 */ "Layers must be turned off when using this function!",  // 1162
    /* 171 */ "Layers cannot be turned on/off while off-screen rendering is active!",  // 1163
    /* 172 */ "An error occurred!",  // 1164
    /* 173 */ "An error occurred!",  // 1165
    /* 174 */ "An error occurred!",  // 1166
    /* 175 */ "This command cannot be used when SelectAlphaChannel() is active!",  // 1167
    /* 176 */ "Specified pixel is out of range!",  // 1168
    /* 177 */ "An error occurred!",  // 1169
    /* 178 */ "Image \"%s\" does not have an alpha channel!",  // 1170
    /* 179 */ "An error occurred!",  // 1171
    /* 180 */ "This brush does not have a mask!",  // 1172
    /* 181 */ "An error occurred!",  // 1173
    /* 182 */ "Could not find brush %ld!",  // 1174
    /* 183 */ "Could not find text object %ld!",  // 1175
    /* 184 */ "Could not find anim %ld!",  // 1176
    /* 185 */ "Could not find BGPic %ld!",  // 1177
    /* 186 */ "Could not find sample %ld!",  // 1178
    /* 187 */ "Could not find file handle %ld!",  // 1179
    /* 188 */ "Could not find memory block %ld!",  // 1180
    /* 189 */ "Could not find timer %ld!",  // 1181
    /* 190 */ "Could not find move queue %ld!",  // 1182
    /* 191 */ "String or number expected in argument %ld!",  // 1183
    /* 192 */ "Invalid percent format in argument %ld!",  // 1184
    /* 193 */ "Function expected in argument %ld!",  // 1185
    /* 194 */ "File",
    /* 195 */ "An error occurred!",  // 1186
    /* 196 */ "An error occurred!",  // 1187
    /* 197 */ "Could not find button %ld!",  // 1188
    /* 198 */ "Number expected in table argument \"%s\"!",  // 1189
    /* 199 */ "Callback function was expected to return a number!",  // 1190
    /* 200 */ "A BGPic needs to be active while calling button functions!",  // 1191
    /* 201 */ "An error occurred!",  // 1192
    /* 202 */ "Too many arguments for this function!",  // 1193
    /* 203 */ "Could not find interval function %ld!",  // 1194
    /* 204 */ "Could not find timeout function %ld!",  // 1195
    /* 205 */ "An error occurred!",  // 1196
    /* 206 */ "An error occurred!",  // 1197
    /* 207 */ "Unexpected end of file!",  // 1198
    /* 208 */ "Virtual machine data type mismatch!",  // 1199
    /* 209 */ "Bad integer in bytecode!",  // 1200
    /* 210 */ "Bad upvalues in bytecode!",  // 1201
    /* 211 */ "Bad constant type in bytecode!",  // 1202
    /* 212 */ "Bad bytecode!",  // 1203
    /* 213 */ "Bad bytecode signature!",  // 1204
    /* 214 */ "Unknown number format in bytecode!",  // 1205
    /* 215 */ "Invalid key for next table item!",  // 1206
    /* 216 */ "Table overflow!",  // 1207
    /* 217 */ "Table index is NaN!",  // 1208
    /* 218 */ "This applet requires at least Kestrovia %s!",  // 1209
    /* 219 */ "Unknown section in applet!",  // 1210
    /* 220 */ "%s is no Kestrovia applet!",  // 1211
    /* 221 */ "Compilation is not possible with KestroviaPlayer!",  // 1212
    /* 222 */ "File %s does not exist!",  // 1213
    /* 223 */ "An error occurred!",  // 1214
    /* 224 */ "Could not find clip region %ld!",  // 1215
    /* 225 */ "An error occurred!",  // 1216
    /* 226 */ "Specified coordinates are out of range!",  // 1217
    /* 227 */ "Width/height values must be greater than 0!",  // 1218
    /* 228 */ "Could not find sprite %ld!",  // 1219
    /* 229 */ "Sprite %ld is not on screen!",  // 1220
    /* 230 */ "An error occurred!",  // 1221
    /* 231 */ "Unknown tag \"%s\"!",  // 1222
    /* 232 */ "Mask and alpha channel are mutually exclusive!",  // 1223
    /* 233 */ "Please remove all sprites first!",  // 1224
    /* 234 */ "Clip region does not fit into the output device's dimensions!",  // 1225
    /* 235 */ "An error occurred!",  // 1226
    /* 236 */ "Cannot modify a sprite that is on screen!",  // 1227
    /* 237 */ "Cannot modify a linked sprite!",  // 1228
    /* 238 */ "Please end double buffering first!",  // 1229
    /* 239 */ "Double buffering is currently not supported for transparent displays!",  // 1230
    /* 240 */ "Could not find music %ld!",  // 1231
    /* 241 */ "Music %ld is not currently playing!",  // 1232
    /* 242 */ "Specified seek position is out of range!",  // 1233
    /* 243 */ "An error occurred!",  // 1234
    /* 244 */ "Unknown music format!",  // 1235
    /* 245 */ "Music format does not support this function!",  // 1236
    /* 246 */ "Table or Nil expected!",  // 1237
    /* 247 */ "Cannot change a protected metatable!",  // 1238
    /* 248 */ "An error occurred!",  // 1240
    /* 249 */ "An error occurred!",  // 1241
    /* 250 */ "Cannot read beyond end of file!",  // 1242
    /* 251 */ "Wrong backfill configuration!",  // 1243
    /* 252 */ "Double buffering mode is not currently active!",  // 1244
    /* 253 */ "Specified length exceeds string length!",  // 1245
    /* 254 */ "An error occurred while processing the gfx cache!",  // 1246
    /* 255 */ "String expected in table argument \"%s\"!",  // 1247
    /* 256 */ "An error occurred!",  // 1248
    /* 257 */ "An error occurred!",  // 1249
    /* 258 */ "%s is not a directory!",  // 1250
    /* 259 */ "Text format tag after square bracket not recognized!",  // 1251
    /* 260 */ "Syntax error in text format specification!",  // 1252
    /* 261 */ "Not enough arguments to this text format tag!",  // 1253
    /* 262 */ "Loading sprite %s",
    /* 263 */ "An error occurred!",  // 1254
    /* 264 */ "This font type does not support anti-aliased output!",  // 1255
    /* 265 */ "An error occurred!",  // 1256
    /* 266 */ "An error occurred!",  // 1257
    /* 267 */ "An error occurred!",  // 1258
    /* 268 */ "An error occurred!",  // 1259
    /* 269 */ "An error occurred!",  // 1260
    /* 270 */ "An error occurred!",  // 1261
    /* 271 */ "An error occurred!",  // 1262
    /* 272 */ "An error occurred!",  // 1263
    /* 273 */ "This music is not in pause state!",  // 1264
    /* 274 */ "Unknown executable type specified!",  // 1266
    /* 275 */ "Cannot open audio device!",  // 1267
    /* 276 */ "An error occurred!",  // 1268
    /* 277 */ "An error occurred!",  // 1269
    /* 278 */ "Loading music %s",
    /* 279 */ "Error loading animation frame!",  // 1270
    /* 280 */ "In function",
    /* 281 */ "This function cannot be used with layers enabled!",  // 1271
    /* 282 */ "An error occurred!",  // 1272
    /* 283 */ "An error occurred!",  // 1273
    /* 284 */ "An error occurred!",  // 1274
    /* 285 */ "An error occurred!",  // 1275
    /* 286 */ "An error occurred!",  // 1276
    /* 287 */ "Loading applet %s",
    /* 288 */ "Error saving PNG picture!",  // 1277
    /* 289 */ "Kestrovia requires at least version 10.4 (Tiger) of Mac OS!",  // 1278
    /* 290 */ "Cannot load audio stream as a sample!",  // 1279
    /* 291 */ "Error creating an audio converter for this format!",  // 1280
    /* 292 */ "Error installing render callback on mixer bus!",  // 1281
    /* 293 */ "Error setting file attributes!",  // 1282
    /* 294 */ "Error setting file date!",  // 1283
    /* 295 */ "An error occurred!",  // 1284
    /* 296 */ "Invalid date format specification!",  // 1285
    /* 297 */ "Error locking %s!",  // 1286
    /* 298 */ "Error setting up thread!",  // 1287
    /* 299 */ "An error occurred!",  // 1288
    /* 300 */ "Could not allocate audio channel for this sound!",  // 1289
    /* 301 */ "An error occurred!",  // 1290
    /* 302 */ "An error occurred!",  // 1291
    /* 303 */ "An error occurred!",  // 1292
    /* 304 */ "An error occurred!",  // 1293
    /* 305 */ "Error getting audio file properties!",  // 1294
    /* 306 */ "An error occurred!",  // 1295
    /* 307 */ "Cancel",
    /* 308 */ "An error occurred!",  // 1296
    /* 309 */ "An error occurred!",  // 1297
    /* 310 */ "Error allocating semaphore object!",  // 1298
    /* 311 */ "Kestrovia currently only supports 8 or 16 bit sounds!",  // 1299
    /* 312 */ "An error occurred!",  // 1300
    /* 313 */ "An error occurred!",  // 1301
    /* 314 */ "An error occurred!",  // 1302
    /* 315 */ "Error converting text to Unicode!",  // 1303
    /* 316 */ "Error in text operation (ATSUI error)!",  // 1304
    /* 317 */ "Syntax error in link file database!",  // 1305
    /* 318 */ "A zlib IO error occurred!",  // 1306
    /* 319 */ "A zlib stream error occurred!",  // 1307
    /* 320 */ "Invalid zlib version detected!",  // 1308
    /* 321 */ "Invalid or incomplete deflate data (zlib)!",  // 1309
    /* 322 */ "Unknown compression format!",  // 1310
    /* 323 */ "Specified layer is not a text layer!",  // 1311
    /* 324 */ "Autoscale cannot be used together with DisplayDesktop!",  // 1312
    /* 325 */ "Layers cannot be disabled when the layer scaling engine is used!",  // 1313
    /* 326 */ "Cannot modify object while it is locked!",  // 1314
    /* 327 */ "Error writing JPEG image!",  // 1315
    /* 328 */ "Scripts using DisplayDesktop cannot be recorded!",  // 1316
    /* 329 */ "This command cannot be used while in video recording mode!",  // 1317
    /* 330 */ "Could not find directory handle %ld!",  // 1318
    /* 331 */ "Music is not currently playing!",  // 1319
    /* 332 */ "Could not find pointer image %ld!",  // 1320
    /* 333 */ "Error creating pointer from image!",  // 1321
    /* 334 */ "Cannot find Kestrovia function at this offset!",  // 1322
    /* 335 */ "Invalid Base64 encoding!",  // 1323
    /* 336 */ "Specified function is not a user function!",  // 1324
    /* 337 */ "Sprite is not on screen!",  // 1325
    /* 338 */ "Yes",
    /* 339 */ "No",
    /* 340 */ "Could not find async draw function %ld!",  // 1326
    /* 341 */ "An error occurred!",  // 1327
    /* 342 */ "Cannot find Kestrovia table at this offset!",  // 1328
    /* 343 */ "Cannot switch layer mode while async draw is active!",  // 1329
    /* 344 */ "An error occurred!",  // 1330
    /* 345 */ "An error occurred!",  // 1331
    /* 346 */ "An error occurred!",  // 1332
    /* 347 */ "An error occurred!",  // 1333
    /* 348 */ "Could not find font %ld!",  // 1334
    /* 349 */ "Font specification must not be a file!",  // 1335
    /* 350 */ "An error occurred!",  // 1336
    /* 351 */ "You cannot use coordinate constants here!",  // 1337
    /* 352 */ "This function cannot be used with disk-based animations!",  // 1338
    /* 353 */ "This command cannot be used when SelectAnim() is active!",  // 1339
    /* 354 */ "Attempt to modify the active anim!",  // 1340
    /* 355 */ "Could not find anim stream %ld!",  // 1341
    /* 356 */ "An error occurred!",  // 1342
    /* 357 */ "An error occurred!",  // 1343
    /* 358 */ "Could not find display %ld!",  // 1344
    /* 359 */ "Cannot use the a single BGPic for multiple displays!",  // 1345
    /* 360 */ "Cannot free the active display!",  // 1346
    /* 361 */ "Cannot use this function while display is closed!",  // 1347
    /* 362 */ "An error occurred!",  // 1348
    /* 363 */ "An error occurred!",  // 1349
    /* 364 */ "An error occurred!",  // 1350
    /* 365 */ "Cannot use multiple displays while in video recording mode!",  // 1351
    /* 366 */ "Cannot use transparent displays while in video recording mode!",  // 1352
    /* 367 */ "An error occurred!",  // 1353
    /* 368 */ "An error occurred!",  // 1354
    /* 369 */ "An error occurred!",  // 1355
    /* 370 */ "Animation file \"%s\" is in an unknown/unsupported format!",  // 1356
    /* 371 */ "Sound file \"%s\" is in an unknown/unsupported format!",  // 1357
    /* 372 */ "Image file \"%s\" is in an unknown/unsupported format!",  // 1358
    /* 373 */ "An error occurred!",  // 1359
    /* 374 */ "An error occurred!",  // 1360
    /* 375 */ "An error occurred!",  // 1361
    /* 376 */ "Invalid order function for sorting!",  // 1362
    /* 377 */ "Syntax error in configuration file!",  // 1363
    /* 378 */ "Failed to open clipboard!",  // 1364
    /* 379 */ "Error reading from clipboard!",  // 1365
    /* 380 */ "Cannot change size of a BGPic that is selected into a display!",  // 1366
    /* 381 */ "You need to select the BGPic's display before modifying the BGPic!",  // 1367
    /* 382 */ "Error writing to clipboard!",  // 1368
    /* 383 */ "Cannot find layer \"%s\" in current BGPic!",  // 1369
    /* 384 */ "Invalid insert position specified!",  // 1370
    /* 385 */ "Specified layer already has an async draw object attached!",  // 1371
    /* 386 */ "Cannot remove layer while it is used by an async draw object!",  // 1372
    /* 387 */ "Specified name is too long!",  // 1373
    /* 388 */ "An error occurred!",  // 1374
    /* 389 */ "An error occurred!",  // 1375
    /* 390 */ "An error occurred!",  // 1376
    /* 391 */ "Cannot modify the graphics of a BGPic associated with a display!",  // 1377
    /* 392 */ "Attempt to modify the BGPic currently selected as output device!",  // 1378
    /* 393 */ "Asynchronous drawing object is not associated with current display!",  // 1379
    /* 394 */ "Cannot free display before associated async draw objects have been freed!",  // 1380
    /* 395 */ "Cannot create sprite link from sprite link!",  // 1381
    /* 396 */ "Specified sprites must have the same dimensions!",  // 1382
    /* 397 */ "Cannot trim brush because it is fully transparent!",  // 1383
    /* 398 */ "An error occurred!",  // 1384
    /* 399 */ "Cannot acquire joystick!",  // 1385
    /* 400 */ "Error initializing freetype2!",  // 1386
    /* 401 */ "An error occurred!",  // 1387
    /* 402 */ "Error",
    /* 403 */ "This operation is not supported by the specified brush type!",  // 1388
    /* 404 */ "Cannot insert a transformed vector brush as a layer!\nUse draw tags instead of transforming the brush directly!",  // 1389
    /* 405 */ "This operation is not supported by the specified BGPic type!",  // 1390
    /* 406 */ "Cannot convert a transformed vector brush into a BGPic!",  // 1391
    /* 407 */ "Cannot convert a transformed vector BGPic into a brush!",  // 1392
    /* 408 */ "An error occurred!",  // 1393
    /* 409 */ "An error occurred!",  // 1394
    /* 410 */ "Opening font %s",
    /* 411 */ "An error occurred!",  // 1395
    /* 412 */ "An error occurred!",  // 1396
    /* 413 */ "An error occurred!",  // 1397
    /* 414 */ "An error occurred!",  // 1398
    /* 415 */ "An error occurred!",  // 1399
    /* 416 */ "An error occurred!",  // 1400
    /* 417 */ "An error occurred!",  // 1401
    /* 418 */ "An error occurred!",  // 1402
    /* 419 */ "Font file \"%s\" is in an unknown/unsupported format!",  // 1403
    /* 420 */ "Cannot render layer because it is attached to async draw object!",  // 1404
    /* 421 */ "An error occurred!",  // 1405
    /* 422 */ "An error occurred!",  // 1406
    /* 423 */ "An error occurred!",  // 1407
    /* 424 */ "An error occurred!",  // 1408
    /* 425 */ "An error occurred!",  // 1409
    /* 426 */ "An error occurred!",  // 1410
    /* 427 */ "An error occurred!",  // 1411
    /* 428 */ "An error occurred!",  // 1412
    /* 429 */ "An error occurred!",  // 1413
    /* 430 */ "An error occurred!",  // 1414
    /* 431 */ "An error occurred!",  // 1415
    /* 432 */ "An error occurred!",  // 1416
    /* 433 */ "An error occurred!",  // 1417
    /* 434 */ "An error occurred!",  // 1418
    /* 435 */ "An error occurred!",  // 1419
    /* 436 */ "An error occurred!",  // 1420
    /* 437 */ "An error occurred!",  // 1421
    /* 438 */ "An error occurred!",  // 1422
    /* 439 */ "An error occurred!",  // 1423
    /* 440 */ "An error occurred!",  // 1424
    /* 441 */ "An error occurred!",  // 1425
    /* 442 */ "An error occurred!",  // 1426
    /* 443 */ "No joystick found at specified game port!",  // 1427
    /* 444 */ "Loading background picture %s",
    /* 445 */ "Loading brush %s",
    /* 446 */ "Opening file %s",
    /* 447 */ "An error occurred!",
    /* 448 */ "An error occurred!",
    /* 449 */ "An error occurred!",
    /* 450 */ "An error occurred!",
    /* 451 */ "An error occurred!",
    /* 452 */ "An error occurred!",
    /* 453 */ "An error occurred!",
    /* 454 */ "An error occurred!",
    /* 455 */ "An error occurred!",
    /* 456 */ "An error occurred!",
    /* 457 */ "An error occurred!",
    /* 458 */ "An error occurred!",
    /* 459 */ "An error occurred!",
    /* 460 */ "An error occurred!",
    /* 461 */ "An error occurred!",
    /* 462 */ "An error occurred!",
    /* 463 */ "An error occurred!",
    /* 464 */ "An error occurred!",
    /* 465 */ "An error occurred!",
    /* 466 */ "An error occurred!",
    /* 467 */ "An error occurred!",
    /* 468 */ "An error occurred!",
    /* 469 */ "An error occurred!",
    /* 470 */ "An error occurred!",
    /* 471 */ "An error occurred!",
    /* 472 */ "An error occurred!",
    /* 473 */ "An error occurred!",
    /* 474 */ "An error occurred!",
    /* 475 */ "An error occurred!",
    /* 476 */ "An error occurred!",
    /* 477 */ "An error occurred!",
    /* 478 */ "An error occurred!",
    /* 479 */ "An error occurred!",
    /* 480 */ "An error occurred!",
    /* 481 */ "An error occurred!",
    /* 482 */ "An error occurred!",
    /* 483 */ "An error occurred!",
    /* 484 */ "An error occurred!",
    /* 485 */ "An error occurred!",
    /* 486 */ "An error occurred!",
    /* 487 */ "An error occurred!",
    /* 488 */ "An error occurred!",
    /* 489 */ "An error occurred!",
    /* 490 */ "An error occurred!",
    /* 491 */ "An error occurred!",
    /* 492 */ "An error occurred!",
    /* 493 */ "An error occurred!",
    /* 494 */ "An error occurred!",
    /* 495 */ "An error occurred!",
    /* 496 */ "An error occurred!",
    /* 497 */ "An error occurred!",
    /* 498 */ "An error occurred!",
    /* 499 */ "An error occurred!",
    /* 500 */ "An error occurred!",
    /* 501 */ "An error occurred!",
    /* 502 */ "An error occurred!",
    /* 503 */ "An error occurred!",
    /* 504 */ "An error occurred!",
    /* 505 */ "An error occurred!",
    /* 506 */ "An error occurred!",
    /* 507 */ "An error occurred!",
    /* 508 */ "An error occurred!",
};
