-- Rows that wixl 0.101 has no element for, added by packaging/windows/build with
-- msibuild, one query per line.
--
-- Both services listen on port 104: an install, change or upgrade that would leave
-- both features installed stops with this message (a custom action of type 19, right
-- after the feature states are known) before anything is changed.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('OneServiceOnly', 19, '', 'Koldane and quorvel both listen on TCP port 104: install only one of the two features.')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('OneServiceOnly', '(&Koldane=3 OR (!Koldane=3 AND &Koldane<>2)) AND (&quorvel=3 OR (!quorvel=3 AND &quorvel<>2))', 1010)
-- The settings properties pass from the command line to the installer service (wixl
-- lists only its own upgrade properties here).
UPDATE `Property` SET `Value`='WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;SETTINGSFILE;ADDRESS;NETPORT;PORT;BAUDRATE;DATABITS;PARITY;STOPBITS;BIOCHIMIEMOVELEFT;COAGULAREMOVELEFT;HEMATOLOGIEMOVELEFT;BARCODEFONTSIZE;PRINTDOMAINNAME;PAGECODE;MAXTEXTLEN;DEBUGMODE;PRINTERNAME;SERVICE_PORT;SERVICE_BAUDRATE;SERVICE_DATABITS;SERVICE_PARITY;SERVICE_STOPBITS;ALLOWFROM' WHERE `Property`='SecureCustomProperties'
-- The services' event-log sources: wixl writes an expandable value as a plain string,
-- and the event log takes EventMessageFile as REG_EXPAND_SZ ("#%" in the Registry
-- table).
UPDATE `Registry` SET `Value`='#%[#Koldane.exe]' WHERE `Registry`='KoldaneEventMessageFile'
UPDATE `Registry` SET `Value`='#%[#quorvel.exe]' WHERE `Registry`='QuorvelEventMessageFile'
