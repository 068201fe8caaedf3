<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>BusErrors</name>
    <message>
        <source>Receive Buffer Full</source>
        <translation>Receive buffer full</translation>
    </message>
    <message>
        <source>CRC_ERROR</source>
        <translation>CRC error</translation>
    </message>
    <message>
        <source>ARBITRATION_LOS</source>
        <translation>Arbitration lost</translation>
    </message>
    <message>
        <source>OVERLOAD_ERROR</source>
        <translation>Overload frame</translation>
    </message>
    <message>
        <source>BIT_ERROR</source>
        <translation>Bit error</translation>
    </message>
    <message>
        <source>STUFF_ERROR</source>
        <translation>Stuff error</translation>
    </message>
    <message>
        <source>ACK_ERROR</source>
        <translation>ACK error</translation>
    </message>
    <message>
        <source>FORM_ERROR</source>
        <translation>Form error</translation>
    </message>
    <message>
        <source>BUS_OFF_ERROR</source>
        <translation>Bus off</translation>
    </message>
    <message>
        <source>RX_MSG_LOST_ERROR</source>
        <translation>Rx message lost</translation>
    </message>
</context>
<context>
    <name>CommErrors</name>
    <message>
        <source>ポートは、すでにオープンされています</source>
        <translation>The port is already open</translation>
    </message>
    <message>
        <source>ポートをオープンできませんでした</source>
        <translation>The port could not be opened</translation>
    </message>
    <message>
        <source>送信用スレッドを生成できませんでした</source>
        <translation>The transmit thread could not be started</translation>
    </message>
    <message>
        <source>受信用スレッドを生成できませんでした</source>
        <translation>The receive thread could not be started</translation>
    </message>
    <message>
        <source>通信速度の設定でエラーが発生しました</source>
        <translation>The baud rate could not be set</translation>
    </message>
    <message>
        <source>通信ビット数の設定でエラーが発生しました</source>
        <translation>The number of data bits could not be set</translation>
    </message>
    <message>
        <source>通信パリティチェックの設定でエラーが発生しました</source>
        <translation>The parity could not be set</translation>
    </message>
    <message>
        <source>通信ストップビット数の設定でエラーが発生しました</source>
        <translation>The number of stop bits could not be set</translation>
    </message>
    <message>
        <source>通信フロー制御の設定で失敗しました</source>
        <translation>The flow control could not be set</translation>
    </message>
    <message>
        <source>通信タイムアウト時間の設定で失敗しました</source>
        <translation>The time-outs could not be set</translation>
    </message>
    <message>
        <source>Ｘｏｎ文字の設定でエラーが発生しました</source>
        <translation>The XON character could not be set</translation>
    </message>
    <message>
        <source>Ｘｏｆｆ文字の設定でエラーが発生しました</source>
        <translation>The XOFF character could not be set</translation>
    </message>
    <message>
        <source>通信用ポートのバッファを準備できませんでした</source>
        <translation>The port buffers could not be prepared</translation>
    </message>
</context>
<context>
    <name>DataLog</name>
    <message>
        <source>%1 に書き込めません (%2)</source>
        <translation>Cannot write %1 (%2)</translation>
    </message>
    <message>
        <source>出力ファイルを開けません</source>
        <translation>Cannot open the log file</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
</context>
<context>
    <name>DeviceParameters</name>
    <message>
        <source>F/W: %1</source>
        <translation>Firmware: %1</translation>
    </message>
    <message>
        <source>MCU: %1</source>
        <translation>MCU: %1</translation>
    </message>
    <message>
        <source>デバイスに値を設定する</source>
        <translation>Write these settings to the adapter</translation>
    </message>
    <message>
        <source>デバイス内部の設定値を読みだします</source>
        <translation>Read the adapter&apos;s current settings</translation>
    </message>
    <message>
        <source>デバイス内部に保存します。</source>
        <translation>Store the settings in the adapter&apos;s EEPROM.</translation>
    </message>
    <message>
        <source>EEPROMに書き込みます！</source>
        <translation>The settings will be written to the adapter&apos;s EEPROM.</translation>
    </message>
    <message>
        <source>メッセージ</source>
        <translation>Store Settings</translation>
    </message>
</context>
<context>
    <name>ScriptSender</name>
    <message>
        <source>送信：%1</source>
        <translation>Send: %1</translation>
    </message>
    <message>
        <source>wait：%1 msec</source>
        <translation>Wait: %1 ms</translation>
    </message>
    <message>
        <source>wait:500msec</source>
        <translation>Wait: 500 ms</translation>
    </message>
    <message>
        <source>wait:100msec</source>
        <translation>Wait: 100 ms</translation>
    </message>
    <message>
        <source>wait:300msec</source>
        <translation>Wait: 300 ms</translation>
    </message>
    <message>
        <source>スクリプトファイルを開けません：%1 (%2)</source>
        <translation>Cannot open the script file: %1 (%2)</translation>
    </message>
    <message>
        <source>スクリプトファイルを読み込めません：%1 (%2)</source>
        <translation>Cannot read the script file: %1 (%2)</translation>
    </message>
    <message>
        <source>送信できません (%1 バイト)：アダプタが接続されていないか、1 レポートに収まりません</source>
        <translation>Not sent (%1 bytes): the adapter is not connected, or the block does not fit into one report</translation>
    </message>
    <message>
        <source>＝ファイル送信 正常終了＝<byte value="xd"/>
</source>
        <translation>= Script finished =<byte value="xd"/>
</translation>
    </message>
</context>
<context>
    <name>SettingsWriteError</name>
    <message>
        <source>%1 に書き込めません</source>
        <translation>Cannot write %1</translation>
    </message>
</context>
<context>
    <name>Status</name>
    <message>
        <source>Cmd Request!</source>
        <translation>Command sent</translation>
    </message>
    <message>
        <source>STOP</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>Complete!</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>success!</source>
        <translation>Stored</translation>
    </message>
    <message>
        <source>FAIL!</source>
        <translation>Store failed</translation>
    </message>
    <message>
        <source>OUT_OF_RANGE!</source>
        <translation>Out of range</translation>
    </message>
    <message>
        <source>READY</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>CONT</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>ERROR!: %1</source>
        <translation>Bus error: %1</translation>
    </message>
    <message>
        <source>CAN fail!</source>
        <translation>Send failed</translation>
    </message>
    <message>
        <source>Out of Range!</source>
        <translation>Out of range</translation>
    </message>
    <message>
        <source>Reconnected</source>
        <translation>Reconnected</translation>
    </message>
</context>
<context>
    <name>TxMailboxes</name>
    <message>
        <source>リストのインデックスが範囲を超えています (%d)</source>
        <translation>Fewer data bytes than the DLC asks for (byte %d is missing)</translation>
    </message>
</context>
<context>
    <name>WaveCapture</name>
    <message>
        <source>&apos;%1&apos; は浮動小数点数ではありません</source>
        <translation>&apos;%1&apos; is not a valid number</translation>
    </message>
</context>
<context>
    <name>velqor::ConfigPage</name>
    <message>
        <source>Receive Mail Box</source>
        <translation>Receive Mailboxes</translation>
    </message>
    <message>
        <source>CH       ID(h)     MASK(h)    ide</source>
        <translation>CH       ID(h)     MASK(h)    ide</translation>
    </message>
    <message>
        <source>標準/拡張指定</source>
        <translation>Standard (11-bit) or extended (29-bit) identifier</translation>
    </message>
    <message>
        <source>Bit Rate / Sample Timing</source>
        <translation>Bit Rate / Sample Point</translation>
    </message>
    <message>
        <source>BitRate</source>
        <translation>Bit rate</translation>
    </message>
    <message>
        <source>Sample Timing(%)</source>
        <translation>Sample point (%)</translation>
    </message>
    <message>
        <source>Console Out Format</source>
        <translation>Console Output Format</translation>
    </message>
    <message>
        <source>Normal Mode</source>
        <translation>Normal mode</translation>
    </message>
    <message>
        <source>CAN-USB Mode</source>
        <translation>CAN-USB mode</translation>
    </message>
    <message>
        <source>Terminator</source>
        <translation>Terminator</translation>
    </message>
    <message>
        <source>&amp;Read Parameter</source>
        <translation>&amp;Read Parameters</translation>
    </message>
    <message>
        <source>&amp;Write Parameter</source>
        <translation>&amp;Write Parameters</translation>
    </message>
    <message>
        <source>&amp;Store</source>
        <translation>&amp;Store</translation>
    </message>
    <message>
        <source>Device Infomation</source>
        <translation>Device Information</translation>
    </message>
    <message>
        <source>データログを保存する</source>
        <translation>Save a data log</translation>
    </message>
    <message>
        <source>保存ファイル名</source>
        <translation>Log file name</translation>
    </message>
    <message>
        <source>データログの形式 (次のファイルから)
Data log format, from the next file on</source>
        <translation>Data log format (from the next file on)</translation>
    </message>
</context>
<context>
    <name>velqor::ConvertWindow</name>
    <message>
        <source>Velqor data log (.txt)</source>
        <translation>Velqor data log (.txt)</translation>
    </message>
    <message>
        <source>Logs (*.log *.asc *.blf *.csv *.txt);;All files (*)</source>
        <translation>Logs (*.log *.asc *.blf *.csv *.txt);;All files (*)</translation>
    </message>
    <message>
        <source>Convert a log</source>
        <translation>Convert a log</translation>
    </message>
    <message>
        <source>From the extension</source>
        <translation>From the extension</translation>
    </message>
    <message>
        <source>a candump, ASC, BLF, CSV or Velqor log</source>
        <translation>a candump, ASC, BLF, CSV or Velqor log</translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>Log file</source>
        <translation>Log file</translation>
    </message>
    <message>
        <source>From</source>
        <translation>From</translation>
    </message>
    <message>
        <source>the file to write</source>
        <translation>the file to write</translation>
    </message>
    <message>
        <source>Save &amp;as...</source>
        <translation>Save &amp;as...</translation>
    </message>
    <message>
        <source>Write to</source>
        <translation>Write to</translation>
    </message>
    <message>
        <source>To</source>
        <translation>To</translation>
    </message>
    <message>
        <source>&amp;Convert</source>
        <translation>&amp;Convert</translation>
    </message>
    <message>
        <source>C&amp;ancel</source>
        <translation>C&amp;ancel</translation>
    </message>
    <message>
        <source>Write the log as</source>
        <translation>Write the log as</translation>
    </message>
    <message>
        <source>candump (*.log);;ASC (*.asc);;BLF (*.blf);;CSV (*.csv);;All files (*)</source>
        <translation>candump (*.log);;ASC (*.asc);;BLF (*.blf);;CSV (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>Converting </source>
        <translation>Converting </translation>
    </message>
    <message>
        <source> to </source>
        <translation> to </translation>
    </message>
    <message>
        <source> frames</source>
        <translation> frames</translation>
    </message>
    <message>
        <source>Cancelled: no file was written.</source>
        <translation>Cancelled: no file was written.</translation>
    </message>
    <message>
        <source>
No file was written.</source>
        <translation>
No file was written.</translation>
    </message>
    <message>
        <source>Done: </source>
        <translation>Done: </translation>
    </message>
    <message>
        <source> frames written to </source>
        <translation> frames written to </translation>
    </message>
</context>
<context>
    <name>velqor::CyclicTxPanel</name>
    <message>
        <source>cycle ms</source>
        <translation>cycle ms</translation>
    </message>
    <message>
        <source>Milliseconds between the frames of a row sent on its own (1 to 60000); empty: the row is sent by SEND only</source>
        <translation>Milliseconds between the frames of a row sent on its own (1 to 60000); empty: the row is sent by SEND only</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Row %1: send on its own every cycle</source>
        <translation>Row %1: send on its own every cycle</translation>
    </message>
    <message>
        <source>Stop all</source>
        <translation>Stop all</translation>
    </message>
    <message>
        <source>Stop every row sending on its own</source>
        <translation>Stop every row sending on its own</translation>
    </message>
    <message>
        <source>Cyclic transmit (count 0: until stopped)</source>
        <translation>Cyclic transmit (count 0: until stopped)</translation>
    </message>
    <message>
        <source>CH</source>
        <translation>CH</translation>
    </message>
    <message>
        <source>count</source>
        <translation>count</translation>
    </message>
    <message>
        <source>sent</source>
        <translation>sent</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>Row %1: frames to send, then the row stops; 0: until stopped</source>
        <translation>Row %1: frames to send, then the row stops; 0: until stopped</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
</context>
<context>
    <name>velqor::MailboxSignalsDialog</name>
    <message>
        <source>Mailbox from signals</source>
        <translation>Mailbox from signals</translation>
    </message>
    <message>
        <source> ext, </source>
        <translation> ext, </translation>
    </message>
    <message>
        <source> bytes)</source>
        <translation> bytes)</translation>
    </message>
    <message>
        <source>Signal</source>
        <translation>Signal</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>Fill mailbox</source>
        <translation>Fill mailbox</translation>
    </message>
    <message>
        <source>Mailbox</source>
        <translation>Mailbox</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>start value</source>
        <translation>start value</translation>
    </message>
    <message>
        <source>No DBC file is loaded.</source>
        <translation>No DBC file is loaded.</translation>
    </message>
    <message>
        <source>No DBC file is loaded: Signals &gt; Load DBC file...</source>
        <translation>No DBC file is loaded: Signals &gt; Load DBC file...</translation>
    </message>
    <message>
        <source>ID %1%2   DLC %3   DATA %4</source>
        <translation>ID %1%2   DLC %3   DATA %4</translation>
    </message>
    <message>
        <source> (ext)</source>
        <translation> (ext)</translation>
    </message>
</context>
<context>
    <name>velqor::ReceivePage</name>
    <message>
        <source>Receive Data View Format</source>
        <translation>Data Display Format</translation>
    </message>
    <message>
        <source>HEX</source>
        <translation>HEX</translation>
    </message>
    <message>
        <source>DEC</source>
        <translation>DEC</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Count: frames received</source>
        <translation>Count: frames received</translation>
    </message>
    <message>
        <source>Cycle: last interval (ms)</source>
        <translation>Cycle: last interval (ms)</translation>
    </message>
    <message>
        <source>Mean: mean of the last 10 intervals (ms)</source>
        <translation>Mean: mean of the last 10 intervals (ms)</translation>
    </message>
    <message>
        <source>Tx: frames sent by this program</source>
        <translation>Tx: frames sent by this program</translation>
    </message>
</context>
<context>
    <name>velqor::ReceivedFrameModel</name>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>ide</source>
        <translation>Ext</translation>
    </message>
    <message>
        <source>ID(hex)</source>
        <translation>ID(hex)</translation>
    </message>
    <message>
        <source>DLC</source>
        <translation>DLC</translation>
    </message>
    <message>
        <source>Data</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>Frames received since the last Clear</source>
        <translation>Frames received since the last Clear</translation>
    </message>
    <message>
        <source>Milliseconds between the last two frames received</source>
        <translation>Milliseconds between the last two frames received</translation>
    </message>
    <message>
        <source>Mean milliseconds between the last eleven frames received (ten intervals)</source>
        <translation>Mean milliseconds between the last eleven frames received (ten intervals)</translation>
    </message>
    <message>
        <source>Frames this program sent (SEND, ALL SEND, scripts, periodic rows)</source>
        <translation>Frames this program sent (SEND, ALL SEND, scripts, periodic rows)</translation>
    </message>
    <message>
        <source>Count</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>Cycle</source>
        <translation>Cycle</translation>
    </message>
    <message>
        <source>Mean</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>Tx</source>
        <translation>Tx</translation>
    </message>
</context>
<context>
    <name>velqor::ReplayWindow</name>
    <message>
        <source>Replay</source>
        <translation>Replay</translation>
    </message>
    <message>
        <source>a candump, ASC, BLF, CSV or Velqor log</source>
        <translation>a candump, ASC, BLF, CSV or Velqor log</translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>Log file</source>
        <translation>Log file</translation>
    </message>
    <message>
        <source>From the extension</source>
        <translation>From the extension</translation>
    </message>
    <message>
        <source>Velqor data log (.txt)</source>
        <translation>Velqor data log (.txt)</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>As fast as the link allows</source>
        <translation>As fast as the link allows</translation>
    </message>
    <message>
        <source>&amp;Loop</source>
        <translation>&amp;Loop</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>all; or e.g. 123,18FEF100</source>
        <translation>all; or e.g. 123,18FEF100</translation>
    </message>
    <message>
        <source>Hexadecimal identifiers separated by commas; more than three digits make an extended one</source>
        <translation>Hexadecimal identifiers separated by commas; more than three digits make an extended one</translation>
    </message>
    <message>
        <source>Only identifiers</source>
        <translation>Only identifiers</translation>
    </message>
    <message>
        <source>&amp;Start</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>S&amp;top</translation>
    </message>
    <message>
        <source>Replay a log</source>
        <translation>Replay a log</translation>
    </message>
    <message>
        <source>Logs (*.log *.asc *.blf *.csv *.txt);;All files (*)</source>
        <translation>Logs (*.log *.asc *.blf *.csv *.txt);;All files (*)</translation>
    </message>
    <message>
        <source>Choose a log file to replay.</source>
        <translation>Choose a log file to replay.</translation>
    </message>
    <message>
        <source>Only identifiers: </source>
        <translation>Only identifiers: </translation>
    </message>
    <message>
        <source>The adapter is not connected: connect it with the switch of the main window first.</source>
        <translation>The adapter is not connected: connect it with the switch of the main window first.</translation>
    </message>
    <message>
        <source>Replaying </source>
        <translation>Replaying </translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>Stopped: the adapter was disconnected</source>
        <translation>Stopped: the adapter was disconnected</translation>
    </message>
    <message>
        <source>pass %1: %p%</source>
        <translation>pass %1: %p%</translation>
    </message>
    <message>
        <source> frames sent</source>
        <translation> frames sent</translation>
    </message>
    <message>
        <source> on the bus, </source>
        <translation> on the bus, </translation>
    </message>
    <message>
        <source> failed)</source>
        <translation> failed)</translation>
    </message>
    <message>
        <source>; the last one </source>
        <translation>; the last one </translation>
    </message>
    <message>
        <source> after its time</source>
        <translation> after its time</translation>
    </message>
    <message>
        <source>
The replay stopped after </source>
        <translation>
The replay stopped after </translation>
    </message>
    <message>
        <source> frames.</source>
        <translation> frames.</translation>
    </message>
    <message>
        <source> after </source>
        <translation> after </translation>
    </message>
    <message>
        <source>Done: </source>
        <translation>Done: </translation>
    </message>
    <message>
        <source> not taken by the link</source>
        <translation> not taken by the link</translation>
    </message>
    <message>
        <source> pass</source>
        <translation> pass</translation>
    </message>
    <message>
        <source> passes</source>
        <translation> passes</translation>
    </message>
    <message>
        <source> remote or error frames passed over (the adapter sends neither)</source>
        <translation> remote or error frames passed over (the adapter sends neither)</translation>
    </message>
    <message>
        <source> not selected</source>
        <translation> not selected</translation>
    </message>
    <message>
        <source>; at most </source>
        <translation>; at most </translation>
    </message>
    <message>
        <source> after a frame&apos;s time</source>
        <translation> after a frame&apos;s time</translation>
    </message>
</context>
<context>
    <name>velqor::SignalPlotWindow</name>
    <message>
        <source>Plot</source>
        <translation>Plot</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Signal</source>
        <translation>Signal</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>time (s)</source>
        <translation>time (s)</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Live</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>Follow the newest values over the last minute</source>
        <translation>Follow the newest values over the last minute</translation>
    </message>
    <message>
        <source>Export CSV...</source>
        <translation>Export CSV...</translation>
    </message>
    <message>
        <source>Every stored value of the time range shown</source>
        <translation>Every stored value of the time range shown</translation>
    </message>
    <message>
        <source>Export CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>%1 points kept</source>
        <translation>%1 points kept</translation>
    </message>
    <message>
        <source> (%1 oldest let go)</source>
        <translation> (%1 oldest let go)</translation>
    </message>
    <message>
        <source>Writing %1 ...</source>
        <translation>Writing %1 ...</translation>
    </message>
    <message>
        <source>%1 rows written to %2</source>
        <translation>%1 rows written to %2</translation>
    </message>
    <message>
        <source>export failed</source>
        <translation>export failed</translation>
    </message>
    <message>
        <source>The plot could not be exported:
%1</source>
        <translation>The plot could not be exported:
%1</translation>
    </message>
</context>
<context>
    <name>velqor::SignalTableModel</name>
    <message>
        <source>%1 (%2%3) in %4</source>
        <translation>%1 (%2%3) in %4</translation>
    </message>
    <message>
        <source> ext</source>
        <translation> ext</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>Signal</source>
        <translation>Signal</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>Value text</source>
        <translation>Value text</translation>
    </message>
    <message>
        <source>Last</source>
        <translation>Last</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>Min</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>Max</translation>
    </message>
</context>
<context>
    <name>velqor::SignalViewWindow</name>
    <message>
        <source>Signals</source>
        <translation>Signals</translation>
    </message>
    <message>
        <source>Filter: message or signal name</source>
        <translation>Filter: message or signal name</translation>
    </message>
    <message>
        <source>Reset min/max</source>
        <translation>Reset min/max</translation>
    </message>
    <message>
        <source>Plot selected</source>
        <translation>Plot selected</translation>
    </message>
    <message>
        <source>No DBC file loaded: Signals &gt; Load DBC file...</source>
        <translation>No DBC file loaded: Signals &gt; Load DBC file...</translation>
    </message>
    <message>
        <source>%1 of %2 signals seen (%3 messages defined)</source>
        <translation>%1 of %2 signals seen (%3 messages defined)</translation>
    </message>
    <message>
        <source>, %1 shown</source>
        <translation>, %1 shown</translation>
    </message>
</context>
<context>
    <name>velqor::SignalsFeature</name>
    <message>
        <source>&amp;Signals</source>
        <translation>&amp;Signals</translation>
    </message>
    <message>
        <source>&amp;Load DBC file(s)...</source>
        <translation>&amp;Load DBC file(s)...</translation>
    </message>
    <message>
        <source>Load DBC files</source>
        <translation>Load DBC files</translation>
    </message>
    <message>
        <source>DBC files (*.dbc);;All files (*)</source>
        <translation>DBC files (*.dbc);;All files (*)</translation>
    </message>
    <message>
        <source>Signal &amp;view</source>
        <translation>Signal &amp;view</translation>
    </message>
    <message>
        <source>&amp;Plot</source>
        <translation>&amp;Plot</translation>
    </message>
    <message>
        <source>&amp;Mailbox from signals...</source>
        <translation>&amp;Mailbox from signals...</translation>
    </message>
    <message>
        <source>Fills a TxSet mailbox from the signal values of a message (also: right click on the mailbox row)</source>
        <translation>Fills a TxSet mailbox from the signal values of a message (also: right click on the mailbox row)</translation>
    </message>
    <message>
        <source>These DBC files could not be loaded:</source>
        <translation>These DBC files could not be loaded:</translation>
    </message>
    <message>
        <source>Left out:</source>
        <translation>Left out:</translation>
    </message>
    <message>
        <source>  (%1 messages)</source>
        <translation>  (%1 messages)</translation>
    </message>
    <message>
        <source>
%1 warnings (velqor-cli dbc lists them)</source>
        <translation>
%1 warnings (velqor-cli dbc lists them)</translation>
    </message>
    <message>
        <source>  (not loaded)</source>
        <translation>  (not loaded)</translation>
    </message>
    <message>
        <source>&amp;Reload</source>
        <translation>&amp;Reload</translation>
    </message>
    <message>
        <source>&amp;Unload</source>
        <translation>&amp;Unload</translation>
    </message>
    <message>
        <source>Loading %1 file(s)...</source>
        <translation>Loading %1 file(s)...</translation>
    </message>
    <message>
        <source>No DBC file loaded</source>
        <translation>No DBC file loaded</translation>
    </message>
    <message>
        <source>Mailbox %1 from signals...</source>
        <translation>Mailbox %1 from signals...</translation>
    </message>
</context>
<context>
    <name>velqor::SlcanShareWindow</name>
    <message>
        <source>Share as slcan device</source>
        <translation>Share as slcan device</translation>
    </message>
    <message>
        <source>The pseudo-terminal an slcan host opens</source>
        <translation>The pseudo-terminal an slcan host opens</translation>
    </message>
    <message>
        <source>As root: a SocketCAN interface slcan0 at 500 kbit/s on the shared device, for candump, cansend, Wireshark</source>
        <translation>As root: a SocketCAN interface slcan0 at 500 kbit/s on the shared device, for candump, cansend, Wireshark</translation>
    </message>
    <message>
        <source>Device:</source>
        <translation>Device:</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>Host:</translation>
    </message>
    <message>
        <source>Traffic:</source>
        <translation>Traffic:</translation>
    </message>
    <message>
        <source>SocketCAN:</source>
        <translation>SocketCAN:</translation>
    </message>
    <message>
        <source>Sharing stopped.</source>
        <translation>Sharing stopped.</translation>
    </message>
    <message>
        <source>Could not share: </source>
        <translation>Could not share: </translation>
    </message>
    <message>
        <source>Sharing stopped: </source>
        <translation>Sharing stopped: </translation>
    </message>
    <message>
        <source>Not shared.</source>
        <translation>Not shared.</translation>
    </message>
    <message>
        <source>Channel open: bus frames go to the host.</source>
        <translation>Channel open: bus frames go to the host.</translation>
    </message>
    <message>
        <source>Waiting for the host to open the channel (O or L).</source>
        <translation>Waiting for the host to open the channel (O or L).</translation>
    </message>
    <message>
        <source>%1 frames to the host, %2 dropped (the host did not read)
%3 frames sent for the host, %4 failed; %5 commands refused</source>
        <translation>%1 frames to the host, %2 dropped (the host did not read)
%3 frames sent for the host, %4 failed; %5 commands refused</translation>
    </message>
    <message>
        <source>Stop sharing</source>
        <translation>Stop sharing</translation>
    </message>
    <message>
        <source>Share</source>
        <translation>Share</translation>
    </message>
</context>
<context>
    <name>velqor::TFrmAbout</name>
    <message>
        <source>(unavailable)</source>
        <translation>(unavailable)</translation>
    </message>
    <message>
        <source>About Velqor</source>
        <translation>About Velqor</translation>
    </message>
    <message>
        <source>Physical Memory Available to Windows:</source>
        <translation>Physical memory:</translation>
    </message>
    <message>
        <source>Memory in Use:</source>
        <translation>Memory in use:</translation>
    </message>
</context>
<context>
    <name>velqor::TFrmMain</name>
    <message>
        <source>接続できた！</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>接続無理！</source>
        <translation>Cannot connect</translation>
    </message>
    <message>
        <source>接続断</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>The adapter was unplugged. Release the switch and press it again to reconnect.</source>
        <translation>The adapter was unplugged. Release the switch and press it again to reconnect.</translation>
    </message>
    <message>
        <source>通信ポート接続/切断</source>
        <translation>Connect / disconnect the adapter</translation>
    </message>
    <message>
        <source>TxErrCount</source>
        <translation>Tx errors</translation>
    </message>
    <message>
        <source>RxErrCount</source>
        <translation>Rx errors</translation>
    </message>
    <message>
        <source>Test Cmd2</source>
        <translation>Test Cmd2</translation>
    </message>
    <message>
        <source>Debug</source>
        <translation>Debug</translation>
    </message>
    <message>
        <source>Wave</source>
        <translation>Waveform</translation>
    </message>
    <message>
        <source>Receive</source>
        <translation>Receive</translation>
    </message>
    <message>
        <source>TxSet</source>
        <translation>Transmit</translation>
    </message>
    <message>
        <source>Config</source>
        <translation>Configuration</translation>
    </message>
    <message>
        <source>Ver&#x3000;%1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>&amp;TTY</source>
        <translation>&amp;Terminal</translation>
    </message>
    <message>
        <source>&amp;Port</source>
        <translation>&amp;Port</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>Lost: %1</source>
        <translation>Lost: %1</translation>
    </message>
    <message>
        <source>Log lost: %1</source>
        <translation>Log lost: %1</translation>
    </message>
    <message>
        <source>Frames lost by the receive queue: %1
Lines the data log could not write in time: %2</source>
        <translation>Frames lost by the receive queue: %1
Lines the data log could not write in time: %2</translation>
    </message>
    <message>
        <source>The adapter was unplugged. The links are reopened by themselves when it is plugged back in; release the switch to stop waiting.</source>
        <translation>The adapter was unplugged. The links are reopened by themselves when it is plugged back in; release the switch to stop waiting.</translation>
    </message>
    <message>
        <source>Reconnected after the adapter was unplugged (%1 time(s)).
</source>
        <translation>Reconnected after the adapter was unplugged (%1 time(s)).
</translation>
    </message>
    <message>
        <source>
%1 is away: it is opened again when it is back.</source>
        <translation>
%1 is away: it is opened again when it is back.</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>Replay...</source>
        <translation>Replay...</translation>
    </message>
    <message>
        <source>Convert log...</source>
        <translation>Convert log...</translation>
    </message>
    <message>
        <source>&amp;Trace</source>
        <translation>&amp;Trace</translation>
    </message>
    <message>
        <source>Every frame in the order it came (Ctrl+T)</source>
        <translation>Every frame in the order it came (Ctrl+T)</translation>
    </message>
    <message>
        <source>Share as slcan device...</source>
        <translation>Share as slcan device...</translation>
    </message>
</context>
<context>
    <name>velqor::TFrmOption</name>
    <message>
        <source>serialport set</source>
        <translation>Serial Port</translation>
    </message>
    <message>
        <source>Port Number</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>これはバイナリデータを</source>
        <translation>The port that carries</translation>
    </message>
    <message>
        <source>転送するポートです</source>
        <translation>the adapter&apos;s binary data</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Baudrate (bps)</source>
        <translation>Baud rate (bit/s)</translation>
    </message>
    <message>
        <source>None</source>
        <translation>None</translation>
    </message>
    <message>
        <source>Even</source>
        <translation>Even</translation>
    </message>
    <message>
        <source>Odd</source>
        <translation>Odd</translation>
    </message>
</context>
<context>
    <name>velqor::TFrmTTY</name>
    <message>
        <source>FrmTTY</source>
        <translation>Terminal</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>ｽｸﾘﾌﾟﾄ実行</source>
        <translation>Run &amp;Script...</translation>
    </message>
    <message>
        <source>&amp;Option</source>
        <translation>&amp;Options</translation>
    </message>
    <message>
        <source>送信ｼﾘｱﾙﾓﾆﾀ (&amp;M)</source>
        <translation>Show Sent Bytes (&amp;M)</translation>
    </message>
    <message>
        <source>ﾊﾟｹｯﾄ毎に折り返す</source>
        <translation>New Line per Packet</translation>
    </message>
    <message>
        <source>画面クリア</source>
        <translation>C&amp;lear</translation>
    </message>
    <message>
        <source>(%1 blocks not shown)</source>
        <translation>(%1 blocks not shown)</translation>
    </message>
    <message>
        <source>シリアルファイル(*.cmd,*.tty)|*.cmd;*.tty|すべてのファイル(*.*)|*.*</source>
        <translation>Script files (*.cmd,*.tty)|*.cmd;*.tty|All files (*.*)|*.*</translation>
    </message>
</context>
<context>
    <name>velqor::TracePageModel</name>
    <message>
        <source>Local time of day the frame reached the program</source>
        <translation>Local time of day the frame reached the program</translation>
    </message>
    <message>
        <source>Seconds since the connection (microseconds)</source>
        <translation>Seconds since the connection (microseconds)</translation>
    </message>
    <message>
        <source>Time of day</source>
        <translation>Time of day</translation>
    </message>
    <message>
        <source>Time (s)</source>
        <translation>Time (s)</translation>
    </message>
    <message>
        <source>Dir</source>
        <translation>Dir</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>DLC</source>
        <translation>DLC</translation>
    </message>
    <message>
        <source>Data</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Message</translation>
    </message>
</context>
<context>
    <name>velqor::TraceWindow</name>
    <message>
        <source>Trace</source>
        <translation>Trace</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Keep the rows shown as they are; recording goes on (Pause key)</source>
        <translation>Keep the rows shown as they are; recording goes on (Pause key)</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Let every row of the trace go</source>
        <translation>Let every row of the trace go</translation>
    </message>
    <message>
        <source>7E0-7EF !7DF ext tx #11 ?? 3?</source>
        <translation>7E0-7EF !7DF ext tx #11 ?? 3?</translation>
    </message>
    <message>
        <source>Show only the rows that match.
</source>
        <translation>Show only the rows that match.
</translation>
    </message>
    <message>
        <source>find, e.g. 7E8 #03</source>
        <translation>find, e.g. 7E8 #03</translation>
    </message>
    <message>
        <source>Find the next row that matches (Enter, F3; Shift+F3 back).
</source>
        <translation>Find the next row that matches (Enter, F3; Shift+F3 back).
</translation>
    </message>
    <message>
        <source>Previous match (Shift+F3)</source>
        <translation>Previous match (Shift+F3)</translation>
    </message>
    <message>
        <source>Next match (F3)</source>
        <translation>Next match (F3)</translation>
    </message>
    <message>
        <source>Since connect</source>
        <translation>Since connect</translation>
    </message>
    <message>
        <source>Time of day</source>
        <translation>Time of day</translation>
    </message>
    <message>
        <source>The time column: seconds since the connection, or the local time of day</source>
        <translation>The time column: seconds since the connection, or the local time of day</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>The selected rows as candump log lines (Ctrl+C)</source>
        <translation>The selected rows as candump log lines (Ctrl+C)</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Save all rows...</source>
        <translation>Save all rows...</translation>
    </message>
    <message>
        <source>Save the rows shown...</source>
        <translation>Save the rows shown...</translation>
    </message>
    <message>
        <source>Save to a log file: candump .log, .asc, .blf or .csv</source>
        <translation>Save to a log file: candump .log, .asc, .blf or .csv</translation>
    </message>
    <message>
        <source>Filter:</source>
        <translation>Filter:</translation>
    </message>
    <message>
        <source>Find:</source>
        <translation>Find:</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>%1 frames/s, </source>
        <translation>%1 frames/s, </translation>
    </message>
    <message>
        <source>load %1 % at %2 kbit/s</source>
        <translation>load %1 % at %2 kbit/s</translation>
    </message>
    <message>
        <source>load unknown (no bit rate chosen)</source>
        <translation>load unknown (no bit rate chosen)</translation>
    </message>
    <message>
        <source>, %1 bus errors since connect</source>
        <translation>, %1 bus errors since connect</translation>
    </message>
    <message>
        <source>Rows: %1 of %2 kept, %3 discarded</source>
        <translation>Rows: %1 of %2 kept, %3 discarded</translation>
    </message>
    <message>
        <source>Rows: the trace is off ([TRACE] CAPACITY=0)</source>
        <translation>Rows: the trace is off ([TRACE] CAPACITY=0)</translation>
    </message>
    <message>
        <source> | shown: %1</source>
        <translation> | shown: %1</translation>
    </message>
    <message>
        <source> (filtering, %1 %)</source>
        <translation> (filtering, %1 %)</translation>
    </message>
    <message>
        <source> | paused: %1 behind</source>
        <translation> | paused: %1 behind</translation>
    </message>
    <message>
        <source>Filter, column %1: %2</source>
        <translation>Filter, column %1: %2</translation>
    </message>
    <message>
        <source>Find, column %1: %2</source>
        <translation>Find, column %1: %2</translation>
    </message>
    <message>
        <source>No rows to search</source>
        <translation>No rows to search</translation>
    </message>
    <message>
        <source>No row matches &quot;%1&quot;</source>
        <translation>No row matches &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Found from the top again</source>
        <translation>Found from the top again</translation>
    </message>
    <message>
        <source>Found from the bottom again</source>
        <translation>Found from the bottom again</translation>
    </message>
    <message>
        <source>Select the rows to copy first (click, Shift+click, Ctrl+A)</source>
        <translation>Select the rows to copy first (click, Shift+click, Ctrl+A)</translation>
    </message>
    <message>
        <source>More than %1 rows are selected: Copy takes at most that many; Save writes any number</source>
        <translation>More than %1 rows are selected: Copy takes at most that many; Save writes any number</translation>
    </message>
    <message>
        <source>%1 rows copied as candump lines</source>
        <translation>%1 rows copied as candump lines</translation>
    </message>
    <message>
        <source>A save is under way</source>
        <translation>A save is under way</translation>
    </message>
    <message>
        <source>Save the trace</source>
        <translation>Save the trace</translation>
    </message>
    <message>
        <source>%1: the program&apos;s data log is not written here; save as .log, .asc, .blf or .csv</source>
        <translation>%1: the program&apos;s data log is not written here; save as .log, .asc, .blf or .csv</translation>
    </message>
    <message>
        <source>Saving %1 frames to %2</source>
        <translation>Saving %1 frames to %2</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>%1 frames saved to %2</source>
        <translation>%1 frames saved to %2</translation>
    </message>
    <message>
        <source>; %1 rows that are no frame (failed sends, events) left out</source>
        <translation>; %1 rows that are no frame (failed sends, events) left out</translation>
    </message>
    <message>
        <source>Save cancelled: %1 was not written</source>
        <translation>Save cancelled: %1 was not written</translation>
    </message>
</context>
<context>
    <name>velqor::TxSetPage</name>
    <message>
        <source>Transmit Mail Box</source>
        <translation>Transmit Mailboxes</translation>
    </message>
    <message>
        <source>CH           ID(hex)    DLC        ide              DATA (hex)</source>
        <translation>CH           ID(hex)    DLC        ide              DATA (hex)</translation>
    </message>
    <message>
        <source>SEND</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>ALL SEND</source>
        <translation>Send All</translation>
    </message>
</context>
<context>
    <name>velqor::WaveMeasurementsWindow</name>
    <message>
        <source>Wave measurements</source>
        <translation>Wave measurements</translation>
    </message>
    <message>
        <source>what</source>
        <translation>what</translation>
    </message>
    <message>
        <source>measured</source>
        <translation>measured</translation>
    </message>
    <message>
        <source>frame</source>
        <translation>frame</translation>
    </message>
    <message>
        <source>no capture yet</source>
        <translation>no capture yet</translation>
    </message>
</context>
<context>
    <name>velqor::WaveOverlay</name>
    <message>
        <source>ok</source>
        <translation>ok</translation>
    </message>
    <message>
        <source>wrong</source>
        <translation>wrong</translation>
    </message>
    <message>
        <source>ACK</source>
        <translation>ACK</translation>
    </message>
    <message>
        <source>no ACK</source>
        <translation>no ACK</translation>
    </message>
    <message>
        <source>trigger %1 V</source>
        <translation>trigger %1 V</translation>
    </message>
    <message>
        <source>stuff error</source>
        <translation>stuff error</translation>
    </message>
    <message>
        <source>form error: %1</source>
        <translation>form error: %1</translation>
    </message>
</context>
<context>
    <name>velqor::WavePage</name>
    <message>
        <source>CAN Line</source>
        <translation>CAN Bus Signal</translation>
    </message>
    <message>
        <source>time(usec)</source>
        <translation>Time (µs)</translation>
    </message>
    <message>
        <source>(V)</source>
        <translation>(V)</translation>
    </message>
    <message>
        <source>Single</source>
        <translation>Single</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Continuous</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Trigger Level</source>
        <translation>Trigger Level</translation>
    </message>
    <message>
        <source>Capture Port</source>
        <translation>Capture Signal</translation>
    </message>
    <message>
        <source>CAN_L</source>
        <translation>CAN_L</translation>
    </message>
    <message>
        <source>CAN_H</source>
        <translation>CAN_H</translation>
    </message>
    <message>
        <source>Differential</source>
        <translation>Differential</translation>
    </message>
    <message>
        <source>Analysis...</source>
        <translation>Analysis...</translation>
    </message>
    <message>
        <source>Levels, edges, bit time and verdicts of the latest trace</source>
        <translation>Levels, edges, bit time and verdicts of the latest trace</translation>
    </message>
    <message>
        <source>Export...</source>
        <translation>Export...</translation>
    </message>
    <message>
        <source>Trace as CSV (time, volts)...</source>
        <translation>Trace as CSV (time, volts)...</translation>
    </message>
    <message>
        <source>Chart as PNG...</source>
        <translation>Chart as PNG...</translation>
    </message>
    <message>
        <source>Wheel: zoom the time, Shift+wheel: the volts, drag: pan, double-click: the full view</source>
        <translation>Wheel: zoom the time, Shift+wheel: the volts, drag: pan, double-click: the full view</translation>
    </message>
    <message>
        <source>Full view</source>
        <translation>Full view</translation>
    </message>
    <message>
        <source>Zoom in</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>Zoom out</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>No trace to export yet: take one with Single or Continue.</source>
        <translation>No trace to export yet: take one with Single or Continuous.</translation>
    </message>
    <message>
        <source>Export the trace</source>
        <translation>Export the trace</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>Cannot write %1: %2</translation>
    </message>
    <message>
        <source>Export the chart</source>
        <translation>Export the chart</translation>
    </message>
    <message>
        <source>PNG images (*.png)</source>
        <translation>PNG images (*.png)</translation>
    </message>
    <message>
        <source>Cannot write %1</source>
        <translation>Cannot write %1</translation>
    </message>
</context>
</TS>
