-- The station database as installed beside the program: the sensor register and the alarm log.
create table settab (
    ID integer primary key autoincrement,
    code integer,
    codeid text,
    fix text,
    almhigh real,
    almlow real,
    remark text,
    almnear text
);
create table alming (
    dates integer,
    times integer,
    code integer,
    fix text,
    almtemp text
);
-- The log is read by day and by range of days, newest first.
create index alming_dates_times on alming(dates, times);
-- The reading path walks the monitored sensors in number order for every reading.
create index settab_code on settab(code);
