// SPDX-License-Identifier: GPL-2.0
/*
 * The phone's keypad, /dev/keypad: a queue of key events that a feeder in
 * userspace fills as a key script's times come (/dev/keypad-feed,
 * phone_devices.h).
 *
 * For the program, as the phone's driver behaves:
 *  - select's exception set: the descriptor is marked while an event is
 *    queued (EPOLLPRI);
 *  - the read-event request (0x400C4701) takes the first event and fills the
 *    12-byte record: the code at byte 0, the state as a 32-bit integer in the
 *    machine's byte order at byte 4; the unused bytes hold 0xEE, so that a
 *    reader that strays into them sees nonsense rather than a harmless zero;
 *  - while a press is queued the descriptor is also readable, and a one-byte
 *    read takes that press (and the releases queued before it) and delivers
 *    its key character, the transfer's abort key.
 * Neither the request nor the read blocks: with nothing queued both fail
 * with EAGAIN. Every event the program takes goes back to the feeder, with
 * the time it was taken, for the run's transcript.
 */
#include <linux/fs.h>
#include <linux/kfifo.h>
#include <linux/ktime.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/poll.h>
#include <linux/spinlock.h>
#include <linux/string.h>
#include <linux/uaccess.h>
#include <linux/wait.h>

#include "phone_devices.h"
#include "phone_wire.h"

#define QUEUED_MAX 64
#define UNUSED_FILL 0xEE

static struct keypad_feed_event queued[QUEUED_MAX];
static unsigned int first;
static unsigned int count;
static DEFINE_SPINLOCK(queue_lock);
static DECLARE_WAIT_QUEUE_HEAD(keys_wait); /* the program's select */

static DEFINE_KFIFO(taken, struct keypad_taken, 256);
static DECLARE_WAIT_QUEUE_HEAD(taken_wait); /* the feeder */
static atomic_t feeder_attached = ATOMIC_INIT(0);

static struct keypad_feed_event *at(unsigned int i)
{
	return &queued[(first + i) % QUEUED_MAX];
}

/* The position of the first press a read can take, or count for none. */
static unsigned int first_press(void)
{
	unsigned int i;

	for (i = 0; i < count; i++) {
		if (!at(i)->fails && at(i)->state == 1)
			break;
	}
	return i;
}

/* Called with queue_lock held. */
static void note_taken(const struct keypad_feed_event *e)
{
	struct keypad_taken t = { .time_ns = ktime_get_ns(), .event = *e };

	kfifo_put(&taken, t);
	wake_up_interruptible(&taken_wait);
}

static long keypad_ioctl(struct file *file, unsigned int cmd, unsigned long arg)
{
	struct keypad_feed_event e;
	unsigned char record[PHONE_KEYPAD_RECORD_SIZE];

	if (cmd != PHONE_KEYPAD_READ_EVENT)
		return -ENOTTY;
	spin_lock(&queue_lock);
	if (count == 0) {
		spin_unlock(&queue_lock);
		return -EAGAIN;
	}
	e = *at(0);
	first = (first + 1) % QUEUED_MAX;
	count--;
	note_taken(&e);
	spin_unlock(&queue_lock);

	if (e.fails)
		return -EIO;
	memset(record, UNUSED_FILL, sizeof(record));
	record[0] = e.code;
	memcpy(record + 4, &e.state, sizeof(e.state)); /* the machine's byte order */
	if (copy_to_user((void __user *)arg, record, sizeof(record)))
		return -EFAULT;
	return 0;
}

static ssize_t keypad_read(struct file *file, char __user *buf, size_t n, loff_t *pos)
{
	struct keypad_feed_event e;
	unsigned int press;

	if (n == 0)
		return 0;
	spin_lock(&queue_lock);
	press = first_press();
	if (press == count) {
		spin_unlock(&queue_lock);
		return -EAGAIN;
	}
	e = *at(press);
	first = (first + press + 1) % QUEUED_MAX;
	count -= press + 1;
	note_taken(&e);
	spin_unlock(&queue_lock);

	if (put_user(e.character, buf))
		return -EFAULT;
	return 1;
}

static __poll_t keypad_poll(struct file *file, poll_table *wait)
{
	__poll_t mask = 0;

	poll_wait(file, &keys_wait, wait);
	spin_lock(&queue_lock);
	if (count > 0)
		mask |= EPOLLPRI;
	if (first_press() < count)
		mask |= EPOLLIN | EPOLLRDNORM;
	spin_unlock(&queue_lock);
	return mask;
}

static const struct file_operations keypad_fops = {
	.owner = THIS_MODULE,
	.unlocked_ioctl = keypad_ioctl,
	.read = keypad_read,
	.poll = keypad_poll,
	.llseek = noop_llseek,
};

static struct miscdevice keypad_device = {
	.minor = MISC_DYNAMIC_MINOR,
	.name = "keypad",
	.fops = &keypad_fops,
	.mode = 0666,
};

/* The feeder's end. */

static int feed_open(struct inode *inode, struct file *file)
{
	if (atomic_cmpxchg(&feeder_attached, 0, 1) != 0)
		return -EBUSY;
	return 0;
}

static int feed_release(struct inode *inode, struct file *file)
{
	atomic_set(&feeder_attached, 0);
	return 0;
}

/* Queues whole events; ENOSPC when the queue has no room for all of them. */
static ssize_t feed_write(struct file *file, const char __user *buf, size_t n, loff_t *pos)
{
	struct keypad_feed_event events[8];
	size_t k, events_in = n / sizeof(events[0]);

	if (n == 0 || n % sizeof(events[0]) != 0 || events_in > ARRAY_SIZE(events))
		return -EINVAL;
	if (copy_from_user(events, buf, n))
		return -EFAULT;
	spin_lock(&queue_lock);
	if (count + events_in > QUEUED_MAX) {
		spin_unlock(&queue_lock);
		return -ENOSPC;
	}
	for (k = 0; k < events_in; k++) {
		count++;
		*at(count - 1) = events[k];
	}
	spin_unlock(&queue_lock);
	wake_up_interruptible(&keys_wait);
	return n;
}

static ssize_t feed_read(struct file *file, char __user *buf, size_t n, loff_t *pos)
{
	unsigned int copied;
	int ret;

	if (n < sizeof(struct keypad_taken))
		return -EINVAL;
	if (kfifo_is_empty(&taken)) {
		if (file->f_flags & O_NONBLOCK)
			return -EAGAIN;
		if (wait_event_interruptible(taken_wait, !kfifo_is_empty(&taken)))
			return -ERESTARTSYS;
	}
	ret = kfifo_to_user(&taken, buf, n, &copied);
	return ret ? ret : copied;
}

static __poll_t feed_poll(struct file *file, poll_table *wait)
{
	poll_wait(file, &taken_wait, wait);
	return (kfifo_is_empty(&taken) ? 0 : EPOLLIN | EPOLLRDNORM) | EPOLLOUT | EPOLLWRNORM;
}

static const struct file_operations feed_fops = {
	.owner = THIS_MODULE,
	.open = feed_open,
	.release = feed_release,
	.read = feed_read,
	.write = feed_write,
	.poll = feed_poll,
	.llseek = noop_llseek,
};

static struct miscdevice feed_device = {
	.minor = MISC_DYNAMIC_MINOR,
	.name = "keypad-feed",
	.fops = &feed_fops,
	.mode = 0600,
};

static int __init keypad_init(void)
{
	int ret = misc_register(&feed_device);

	if (ret)
		return ret;
	ret = misc_register(&keypad_device);
	if (ret)
		misc_deregister(&feed_device);
	return ret;
}

static void __exit keypad_exit(void)
{
	misc_deregister(&keypad_device);
	misc_deregister(&feed_device);
}

module_init(keypad_init);
module_exit(keypad_exit);
MODULE_DESCRIPTION("The phone's keypad, its key presses fed from userspace");
MODULE_LICENSE("GPL");
