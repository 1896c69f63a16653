// door_channel
